// A stand-in program for the tests that start programs through the shell:
// it writes how it was started (its show state and its command line, as
// UTF-16) to the file named by QV_ARGS_OUT and ends.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t out[MAX_PATH] = {};
    DWORD length = ::GetEnvironmentVariableW(L"QV_ARGS_OUT", out, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 2;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    ::GetStartupInfoW(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
    std::wstring text = std::to_wstring(show) + L"\n" + ::GetCommandLineW();
    // Written under another name and renamed, so a reader never sees half of it.
    std::wstring partial = std::wstring(out) + L".part";
    HANDLE file = ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    BOOL ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)),
                          &written, nullptr);
    ::CloseHandle(file);
    if (!ok) return 4;
    return ::MoveFileExW(partial.c_str(), out, MOVEFILE_REPLACE_EXISTING) ? 0 : 5;
}
