// The hook through which the runtime's delay-load helper loads every DLL
// that the framework imports late (gdiplus.dll, wininet.dll: see
// cmake/QvDelayLoad.cmake). Left to itself the helper would call
// LoadLibraryA with the bare name, which on a system without the limited
// search (or before the program limits it) looks in the program's folder
// first. Here the DLL comes from the system folder by full path, and a
// system DLL that is not there is not looked for anywhere else.
#include <windows.h>
#include <delayimp.h>

#include "base/QvSystemDll.h"

namespace {

// DLLs that a late-loaded DLL loads late in turn, by bare name. Taken from
// the system folder first, so that the bare name finds them loaded: a
// loader that looked for them in the program's folder (Wine's does, for
// its own DLLs' delay imports, whatever the process's search limit says)
// would otherwise run a planted copy.
struct Pull {
    const char* dll;
    const wchar_t* pulls[3];
};
constexpr Pull kPulls[] = {
    {"gdiplus.dll", {L"windowscodecs.dll"}},
    {"wininet.dll", {L"iphlpapi.dll"}},
};

FARPROC WINAPI LoadFromSystemFolder(unsigned notify, PDelayLoadInfo info) {
    if (notify != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
    wchar_t name[MAX_PATH];
    int n = ::MultiByteToWideChar(CP_ACP, 0, info->szDll, -1, name, MAX_PATH);
    HMODULE module = n > 0 ? qv::LoadSystemLibrary(name) : nullptr;
    for (const Pull& pull : kPulls)
        if (module && ::lstrcmpiA(pull.dll, info->szDll) == 0)
            for (const wchar_t* dll : pull.pulls)
                if (dll) qv::LoadSystemLibrary(dll);  // never freed, like the DLL itself
    if (module) return reinterpret_cast<FARPROC>(module);
    // Returning null would let the helper search by name after all; end
    // the way the helper ends when a DLL is missing.
    ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
    ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
    return nullptr;
}

}  // namespace

extern "C" {
PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemFolder;
PfnDliHook __pfnDliFailureHook2 = nullptr;
}
