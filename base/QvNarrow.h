#pragma once
// UTF-16 to a multi-byte code page, for the places that write bytes: log
// lines, fixed char buffers. Characters the code page lacks become its
// default character.
#include <windows.h>

#include <string>

namespace qv {

inline std::string Narrow(const std::wstring& text, UINT codePage) {
    const int wide = static_cast<int>(text.size());
    int len = ::WideCharToMultiByte(codePage, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (len <= 0) return {};
    std::string out(static_cast<size_t>(len), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), wide, out.data(), len, nullptr, nullptr);
    return out;
}

}  // namespace qv
