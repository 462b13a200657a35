#pragma once
// What the self-delete batch says, read as cmd reads it: shared by the
// batch tests and the reliability suite.
#include <windows.h>

#include <string>
#include <vector>

#include "UninstallTestUtil.h"
#include "app/ClearBatch.h"

namespace batchcheck {

// The batch for program and, when dir is given, that one folder, on a
// system whose system folder is C:\windows\system32.
inline std::string Compose(const wchar_t* program, const wchar_t* dir, UINT ansi = CP_THREAD_ACP,
                           UINT oem = CP_OEMCP) {
    std::vector<std::wstring> folders;
    if (dir) folders.push_back(dir);
    return qv::ComposeClearBatch(program, folders, L"C:\\windows\\system32", ansi, oem);
}

constexpr wchar_t kFirstLine[] = L"@ echo off";
constexpr wchar_t kLastLine[] = L"del %0 & rd \"%~dp0\"";

// The lines that delete the program at path (as written, percent signs
// doubled), trying again until its process has ended.
inline std::wstring ProgramLines(const std::wstring& path) {
    const std::wstring quoted = L"\"" + path + L"\"";
    return L"set qvn=0\r\n:qvwait\r\ndel " + quoted + L"\r\nif exist " + quoted +
           L" if %qvn% lss 30 (set /a qvn+=1 & \"C:\\windows\\system32\\ping.exe\" -n 2 "
           L"127.0.0.1 >nul & goto qvwait)\r\n";
}

// The same for plain-ASCII paths, as bytes.
inline std::string ProgramLinesA(const std::string& path) {
    std::wstring wide(path.begin(), path.end());
    std::wstring lines = ProgramLines(wide);
    return std::string(lines.begin(), lines.end());
}

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
// not safe: anything but the fixed lines, the program's lines naming
// exactly the program (or a short form that names it) and an rd of exactly
// the folder (or of a short form that names it). *hasRd tells whether an
// rd line was there.
inline std::vector<std::wstring> UnsafeLines(const std::string& bytes, const std::wstring& program,
                                             const std::wstring& dir, CodePages cp,
                                             bool* hasRd = nullptr) {
    std::vector<std::wstring> bad;
    std::wstring text = Read(bytes, cp.oem);
    if (hasRd) *hasRd = false;
    std::vector<std::wstring> lines = Lines(text);
    if (lines.size() < 2 || lines[0] != kFirstLine || lines.back() != kLastLine)
        return {L"(the fixed lines are not in place)"};
    // A path as written names what it should: the text itself, or a short
    // form whose long form it is. Anything else, quotes and command
    // characters included, would be cmd's to read.
    // Nothing cmd reads as syntax inside quotes, or that ends the line.
    auto quotable = [](const std::wstring& text, bool percent) {
        for (wchar_t c : text)
            if (c < 0x20 || c == L'"' || c == L'!' || (c == L'%' && !percent)) return false;
        return true;
    };
    auto names = [&](const std::wstring& named, const std::wstring& wanted) {
        if (!quotable(named, false)) return false;
        if (named == wanted) return true;
        if (named.find_first_of(L"&^<>|") != std::wstring::npos) return false;
        wchar_t longName[MAX_PATH] = {};
        return ::GetLongPathNameW(named.c_str(), longName, MAX_PATH) > 0 &&
               uitest::NoSlash(longName) == uitest::NoSlash(wanted);
    };
    size_t i = 1;
    if (lines.size() > 4 && lines[1] == L"set qvn=0" && lines[2] == L":qvwait" &&
        lines[3].rfind(L"del \"", 0) == 0 && lines[3].back() == L'"') {
        std::wstring named = lines[3].substr(5, lines[3].size() - 6);
        std::wstring spelled;  // percent signs as cmd reads them
        for (size_t k = 0; k < named.size(); ++k) {
            spelled += named[k];
            if (named[k] == L'%' && k + 1 < named.size() && named[k + 1] == L'%') ++k;
        }
        // The program's own text may hold a percent sign, doubled.
        bool doubled = DoubledPercent(spelled) == named;
        bool exact = spelled == program && quotable(spelled, true);
        if (!doubled || !(exact || names(named, program))) bad.push_back(lines[3]);
        i = 4;
        std::wstring wait = ProgramLines(named);
        if (Lines(wait)[3] == lines[4]) i = 5;
    }
    for (; i + 1 < lines.size(); ++i) {
        const std::wstring& line = lines[i];
        if (line.rfind(L"rd \"", 0) == 0 && line.back() == L'"' && line.size() > 5 &&
            names(line.substr(4, line.size() - 5), dir)) {
            if (hasRd) *hasRd = true;
        } else {
            bad.push_back(line);
        }
    }
    return bad;
}

}  // namespace batchcheck
