// One running instance per name: a second start hands its command line to
// the first and ends.
#include "base/QvUtil.h"

#include <cwchar>

#include "base/QvScoped.h"

int CheckOneInstance(const wchar_t* name, const wchar_t* cmdLine) {
    if (!name) return 1;
    qv::ScopedHandle mutex(::CreateMutexW(nullptr, FALSE, name));
    bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    if (!existed) {
        // Kept open on purpose for the life of the process: it is what marks
        // this process as the first instance.
        mutex.release();
        return 1;
    }
    mutex.reset();
    HWND first = ::FindWindowW(nullptr, name);
    if (!first) return 1;
    ::ShowWindow(first, SW_SHOWNORMAL);
    if (::IsIconic(first)) ::ShowWindow(first, SW_RESTORE);
    ::SetForegroundWindow(first);
    if (cmdLine && std::wcslen(cmdLine) > 1) {
        COPYDATASTRUCT copy{};
        copy.dwData = 0;
        copy.cbData = static_cast<DWORD>((std::wcslen(cmdLine) + 1) * sizeof(wchar_t));
        copy.lpData = const_cast<wchar_t*>(cmdLine);
        // A hung first instance must not hang the second one too.
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(first, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy),
                              SMTO_ABORTIFHUNG, 5000, &ignored);
    }
    return 0;
}
