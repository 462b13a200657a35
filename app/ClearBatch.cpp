#include "app/ClearBatch.h"

#include <windows.h>

#include <cwchar>

namespace qv {

namespace {

// Converts to the thread's ANSI code page; false when a character has no
// spelling there.
bool ToAnsi(const std::wstring& text, std::string* out) {
    out->clear();
    if (text.empty()) return true;
    int n = ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                  nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    BOOL lossy = FALSE;
    if (::WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                              out->data(), n, nullptr, &lossy) > 0)
        return !lossy;
    // A UTF-8 code page takes no "default used" flag, and spells everything
    // but broken surrogates, which it then refuses.
    return ::WideCharToMultiByte(CP_THREAD_ACP, WC_ERR_INVALID_CHARS, text.c_str(),
                                 static_cast<int>(text.size()), out->data(), n, nullptr,
                                 nullptr) > 0;
}

bool PathToAnsi(const wchar_t* path, std::string* out) {
    if (ToAnsi(path, out)) return true;
    wchar_t shortPath[MAX_PATH];
    DWORD n = ::GetShortPathNameW(path, shortPath, MAX_PATH);
    return n > 0 && n < MAX_PATH && ToAnsi(shortPath, out);
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

}  // namespace

bool IsQuotableInBatch(const wchar_t* text) {
    return text && !std::wcspbrk(text, L"\"%\r\n");
}

std::string ComposeClearBatch(const wchar_t* program, const wchar_t* installDir) {
    std::string text = "@ echo off\r\ntaskkill /im qvUninstall.exe /f\r\n";
    std::string path;
    if (program && program[0] && PathToAnsi(program, &path))
        text += "del \"" + DoublePercent(path) + "\"\r\n";
    if (installDir && installDir[0] && IsQuotableInBatch(installDir) &&
        PathToAnsi(installDir, &path))
        text += "rd /S /Q \"" + path + "\"\r\n";
    text += "del %0";
    return text;
}

}  // namespace qv
