#pragma once
// What the self-delete batch says, read as cmd reads it: shared by the
// batch tests and the reliability suite.
#include <windows.h>

#include <string>
#include <vector>

#include "UninstallTestUtil.h"

namespace batchcheck {

struct CodePages {
    UINT ansi, oem;
};

inline std::wstring Read(const std::string& bytes, UINT codePage) {
    int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                  nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

inline std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t at = 0;
    for (size_t end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    lines.push_back(text.substr(at));
    return lines;
}

inline std::wstring DoubledPercent(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) out += c == L'%' ? L"%%" : std::wstring(1, c);
    return out;
}

// The lines of the batch, as cmd reads them in the OEM code page, that are
// not safe: anything but the fixed lines, a del of exactly the program (or
// of a plain-ASCII short form) and an rd of exactly the folder (or of its
// short form). *hasRd tells whether an rd line was there.
inline std::vector<std::wstring> UnsafeLines(const std::string& bytes, const std::wstring& program,
                                             const std::wstring& dir, CodePages cp,
                                             bool* hasRd = nullptr) {
    std::vector<std::wstring> bad;
    std::vector<std::wstring> lines = Lines(Read(bytes, cp.oem));
    if (hasRd) *hasRd = false;
    if (lines.size() < 3 || lines[0] != L"@ echo off" ||
        lines[1] != L"taskkill /im qvUninstall.exe /f" || lines.back() != L"del %0")
        return {L"(the fixed lines are not in place)"};
    for (size_t i = 2; i + 1 < lines.size(); ++i) {
        const std::wstring& line = lines[i];
        if (line.rfind(L"rd /S /Q \"", 0) == 0 && line.back() == L'"') {
            std::wstring named = line.substr(10, line.size() - 11);
            wchar_t longName[MAX_PATH] = {};
            ::GetLongPathNameW(named.c_str(), longName, MAX_PATH);
            if (named != dir && uitest::NoSlash(longName) != uitest::NoSlash(dir))
                bad.push_back(line);
            else if (hasRd)
                *hasRd = true;
        } else if (line.rfind(L"del \"", 0) == 0) {
            bool exact = line == L"del \"" + DoubledPercent(program) + L"\"";
            bool plain = line.find_first_not_of(L" !#$&'()+,-.0123456789:;=@ABCDEFGHIJKLMNOPQRSTU"
                                                L"VWXYZ[\\]_`abcdefghijklmnopqrstuvwxyz{}~\"") ==
                         std::wstring::npos;
            if (!exact && !plain) bad.push_back(line);
        } else {
            bad.push_back(line);
        }
    }
    return bad;
}

}  // namespace batchcheck
