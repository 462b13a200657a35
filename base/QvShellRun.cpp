// Starting files and URLs through the shell.
#include "base/QvShell.h"

#include <shellapi.h>

#include <string>

#include "base/QvScoped.h"

namespace {

// The browser named by the http handler's command, or iexplore.exe.
std::wstring BrowserProgram() {
    qv::ScopedKey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", 0, KEY_READ,
                        key.put()) != ERROR_SUCCESS) {
        return L"iexplore.exe";
    }
    wchar_t command[1024] = {};
    DWORD type = 0, bytes = sizeof(command) - sizeof(wchar_t);
    if (::RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(command),
                           &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return L"iexplore.exe";
    }
    std::wstring text = command;
    // "C:\x\browser.exe" -arg "%1": the program ends at the quote that
    // closes its path.
    size_t close = text.find(L"\" ");
    if (close != std::wstring::npos && close != 0) text.erase(close);
    std::erase(text, L'"');
    if (type == REG_EXPAND_SZ) {
        wchar_t expanded[1024] = {};
        DWORD length = ::ExpandEnvironmentStringsW(text.c_str(), expanded, 1024);
        if (length > 0 && length <= 1024) text = expanded;
    }
    return text;
}

}  // namespace

int DoRun(const wchar_t* file, const wchar_t* params, int wait, int show) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = file;
    info.lpParameters = params;
    info.nShow = show;
    if (file && ::ShellExecuteExW(&info)) {
        qv::ScopedHandle process(info.hProcess);
        if (wait && process) ::WaitForSingleObject(process.get(), INFINITE);
    }
    return 1;
}

void OpenUrl(const wchar_t* url, int wait) {
    std::wstring browser = BrowserProgram();
    DoRun(browser.c_str(), url, wait, SW_SHOW);
}
