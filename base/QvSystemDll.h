#pragma once
// Functions of system DLLs that only a few framework services need, loaded
// from the system folder the first time they are called. Imported instead,
// each DLL (and what it pulls in: the printing stack, the crypto stack,
// the sound stack) would be loaded at every start, and a DLL that is not
// one of the system's known DLLs would be searched for in the program's own
// folder first, where an elevated uninstaller must not load a planted copy.
#include <windows.h>

namespace qv {

// The function, or null when the DLL or the function cannot be had, or dll
// is not a bare file name. The DLL stays loaded for the life of the process.
FARPROC SystemProc(const wchar_t* dll, const char* name);

// Typed: SystemFn<decltype(&::PlaySoundW)>(L"winmm.dll", "PlaySoundW").
template <typename Fn>
Fn SystemFn(const wchar_t* dll, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(SystemProc(dll, name)));
}

}  // namespace qv
