// Percent-escaping for the query strings of reports.
#include "base/QvUtil.h"

#include <cwchar>
#include <string>

namespace {

const size_t kLimit = 1024;  // the caller's buffer, terminator included

bool KeptAsIs(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    // '%' passes so that text already escaped is not escaped twice.
    return std::wcschr(L"!'()*-./:_~%", c) != nullptr && c != 0;
}

}  // namespace

int URLEncode(wchar_t* text) {
    if (!text) return 0;
    int len = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (len <= 0) return 0;
    std::string utf8(static_cast<size_t>(len), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), len, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(len) - 1);

    static const char kHex[] = "0123456789abcdef";
    std::wstring escaped;
    escaped.reserve(utf8.size() * 3);
    for (unsigned char c : utf8) {
        if (KeptAsIs(c)) {
            escaped += static_cast<wchar_t>(c);
        } else {
            escaped += L'%';
            escaped += static_cast<wchar_t>(kHex[c >> 4]);
            escaped += static_cast<wchar_t>(kHex[c & 15]);
        }
        if (escaped.size() + 1 > kLimit) return 0;
    }
    std::wcscpy(text, escaped.c_str());
    return 1;
}
