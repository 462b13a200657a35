#pragma once
// What the self-delete batch says, read as cmd reads it: shared by the
// batch tests and the reliability suite.
#include <windows.h>

#include <string>
#include <vector>

#include "UninstallTestUtil.h"
#include "app/ClearBatch.h"

namespace batchcheck {

// The batch for program and, when dir is given, that one folder, as process
// 1234 of a system whose system folder is C:\windows\system32.
inline std::string Compose(const wchar_t* program, const wchar_t* dir, UINT ansi = CP_THREAD_ACP,
                           UINT oem = CP_OEMCP) {
    std::vector<std::wstring> folders;
    if (dir) folders.push_back(dir);
    return qv::ComposeClearBatch(program, folders, 1234, L"C:\\windows\\system32", ansi, oem);
}

constexpr wchar_t kTaskkillLine[] = L"\"C:\\windows\\system32\\taskkill.exe\" /f /pid 1234";
constexpr wchar_t kLastLine[] = L"del %0 & rd \"%~dp0\"";

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
    if (lines.size() < 3 || lines[0] != L"@ echo off" || lines[1] != kTaskkillLine ||
        lines.back() != kLastLine)
        return {L"(the fixed lines are not in place)"};
    for (size_t i = 2; i + 1 < lines.size(); ++i) {
        const std::wstring& line = lines[i];
        if (line.rfind(L"rd \"", 0) == 0 && line.back() == L'"') {
            std::wstring named = line.substr(4, line.size() - 5);
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
