#include "base/QvSystemDll.h"

#include <cwchar>

namespace qv {

FARPROC SystemProc(const wchar_t* dll, const char* name) {
    // A bare file name: with a separator it could name a file elsewhere.
    if (!dll || !name || !dll[0] || std::wcspbrk(dll, L"\\/:")) return nullptr;
    // Always by full path: a module of the same name loaded from elsewhere
    // is not the system's. Loading a loaded DLL again only counts it.
    wchar_t path[MAX_PATH];
    UINT len = ::GetSystemDirectoryW(path, MAX_PATH);
    if (len == 0 || len + 1 + std::wcslen(dll) >= MAX_PATH) return nullptr;
    path[len] = L'\\';
    std::wcscpy(path + len + 1, dll);
    HMODULE module = ::LoadLibraryW(path);  // never freed: callers hold its functions
    return module ? ::GetProcAddress(module, name) : nullptr;
}

}  // namespace qv
