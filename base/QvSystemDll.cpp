#include "base/QvSystemDll.h"

#include <cwchar>

namespace qv {

namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

// Present from Windows 8, and on Windows 7 with its 2011 loader update.
SetDefaultDllDirectoriesFn SetDefaultDllDirectoriesProc() {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                        ::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                  : nullptr;
}

}  // namespace

bool RestrictDllSearch() {
    // Without the update the folder of the program stays in the search;
    // the current folder at least goes.
    ::SetDllDirectoryW(L"");
    SetDefaultDllDirectoriesFn restrict = SetDefaultDllDirectoriesProc();
    return restrict && restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemLibrary(const wchar_t* dll) {
    // A bare file name: with a separator it could name a file elsewhere.
    if (!dll || !dll[0] || std::wcspbrk(dll, L"\\/:")) return nullptr;
    // Always by full path: a module of the same name loaded from elsewhere
    // is not the system's. Loading a loaded DLL again only counts it.
    wchar_t path[MAX_PATH];
    UINT len = ::GetSystemDirectoryW(path, MAX_PATH);
    if (len == 0 || len + 1 + std::wcslen(dll) >= MAX_PATH) return nullptr;
    path[len] = L'\\';
    std::wcscpy(path + len + 1, dll);
    // What the DLL loads by name is looked up in the system folder only;
    // where the loader predates that flag, in the DLL's own folder (the
    // system folder) before anywhere else, and never in the program's.
    HMODULE module = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module && ::GetLastError() == ERROR_INVALID_PARAMETER)
        module = ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module;
}

FARPROC SystemProc(const wchar_t* dll, const char* name) {
    if (!name) return nullptr;
    HMODULE module = LoadSystemLibrary(dll);  // never freed: callers hold its functions
    return module ? ::GetProcAddress(module, name) : nullptr;
}

}  // namespace qv
