#include "app/ClearBatch.h"

#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "app/UninstallSafety.h"

namespace qv {

namespace {

using TextCheck = std::function<bool(const std::wstring&)>;

std::wstring Decode(const std::string& bytes, UINT codePage) {
    if (bytes.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                  static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                          static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

// The bytes of text in the ANSI code page, only when they read back as the
// same text in it and in the OEM code page. No best fit: it would turn a
// full-width percent sign into "%", a full-width full stop into ".", the
// yen sign into "\" under code page 932, and so on.
bool Encode(const std::wstring& text, UINT ansi, UINT oem, std::string* out) {
    out->clear();
    if (text.empty()) return false;
    BOOL usedDefault = FALSE;
    bool utf8 = ansi == CP_UTF8 || (ansi == CP_THREAD_ACP && ::GetACP() == CP_UTF8);
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL* defaultFlag = utf8 ? nullptr : &usedDefault;
    int n = ::WideCharToMultiByte(ansi, flags, text.c_str(), static_cast<int>(text.size()),
                                  nullptr, 0, nullptr, defaultFlag);
    if (n <= 0 || usedDefault) return false;
    out->resize(static_cast<size_t>(n));
    if (::WideCharToMultiByte(ansi, flags, text.c_str(), static_cast<int>(text.size()),
                              out->data(), n, nullptr, defaultFlag) != n ||
        usedDefault)
        return false;
    return Decode(*out, ansi) == text && Decode(*out, oem) == text;
}

bool IsPlainAscii(const std::wstring& text) {
    for (wchar_t c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return !text.empty();
}

// The bytes to write for path: its own spelling, or its short form, each
// only if the text cmd will read passes check.
bool PathBytes(const wchar_t* path, const TextCheck& check, UINT ansi, UINT oem,
               std::string* out) {
    std::wstring text = path;
    if (Encode(text, ansi, oem, out) && check(Decode(*out, ansi))) return true;
    wchar_t shortPath[MAX_PATH];
    DWORD n = ::GetShortPathNameW(path, shortPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    text = shortPath;
    if (!IsPlainAscii(text) || !check(text)) return false;
    out->assign(text.begin(), text.end());
    return true;
}

// cmd reads "%%" in a batch as one percent sign. No DBCS trail byte is
// 0x25, so the bytes can be scanned one by one.
std::string DoublePercent(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '%') out += '%';
    }
    return out;
}

bool HasControl(const std::wstring& text) {
    for (wchar_t c : text)
        if (c < 0x20) return true;
    return false;
}

bool IsProgramText(const std::wstring& text) {
    return text.find_first_of(L"\"!") == std::wstring::npos && !HasControl(text) &&
           IsDeletableTarget(text.c_str());
}

bool IsQuotableText(const std::wstring& text) {
    return IsQuotableInBatch(text.c_str());
}

bool IsFolderText(const std::wstring& text) {
    return IsQuotableInBatch(text.c_str()) && IsDeletableTarget(text.c_str());
}

}  // namespace

bool IsQuotableInBatch(const wchar_t* text) {
    if (!text) return false;
    std::wstring s = text;
    return s.find_first_of(L"\"%!") == std::wstring::npos && !HasControl(s);
}

std::string ComposeClearBatch(const wchar_t* program, const std::vector<std::wstring>& folders,
                              const wchar_t* systemFolder, UINT ansiCodePage, UINT oemCodePage) {
    std::string text = "@ echo off\r\n";
    std::string path, system;
    if (program && program[0] &&
        PathBytes(program, IsProgramText, ansiCodePage, oemCodePage, &path)) {
        const std::string quoted = "\"" + DoublePercent(path) + "\"";
        text += "set qvn=0\r\n:qvwait\r\ndel " + quoted + "\r\n";
        // The program ends right after starting the batch, but its file can
        // be deleted only once it has: try again for a while rather than
        // end a process by its ID, which the system may already have given
        // to another. ping is by full path: cmd looks a bare name up in the
        // working folder first.
        if (systemFolder && systemFolder[0] &&
            PathBytes(systemFolder, IsQuotableText, ansiCodePage, oemCodePage, &system))
            text += "if exist " + quoted + " if %qvn% lss " + std::to_string(kClearBatchTries) +
                    " (set /a qvn+=1 & \"" + system +
                    "\\ping.exe\" -n 2 127.0.0.1 >nul & goto qvwait)\r\n";
    }
    for (const std::wstring& folder : folders) {
        // An outer folder cannot go while the inner one stays.
        if (!PathBytes(folder.c_str(), IsFolderText, ansiCodePage, oemCodePage, &path)) break;
        text += "rd \"" + path + "\"\r\n";
    }
    // One line, read whole before it runs: the batch is gone before its
    // folder is removed.
    text += "del %0 & rd \"%~dp0\"";
    return text;
}

}  // namespace qv
