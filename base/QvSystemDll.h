#pragma once
// Loading system DLLs so that a planted copy never runs. An elevated
// program in a folder that others may write must not load a DLL of the
// same name from its own folder: DLLs that are not among the system's known
// DLLs, and every DLL they load by name, would be looked for there first.
// Functions that only a few framework services need are also loaded the
// first time they are called rather than imported: imported, each DLL (and
// what it pulls in: the printing stack, the crypto stack, the sound stack)
// would be loaded at every start.
#include <windows.h>

namespace qv {

// Limits where this process looks for DLLs loaded by name, itself and
// through the DLLs it loads, to the system folder: a program's first act.
// False where the system cannot limit it (Windows 7 without its 2011
// loader update); the current folder is then at least left out.
bool RestrictDllSearch();

// The DLL dll (a bare file name) loaded by full path from the system
// folder, its own dependencies looked up in the system folder too; null
// when it cannot be had or dll is not a bare file name. Never freed.
HMODULE LoadSystemLibrary(const wchar_t* dll);

// The function, or null when the DLL or the function cannot be had, or dll
// is not a bare file name. The DLL stays loaded for the life of the process.
FARPROC SystemProc(const wchar_t* dll, const char* name);

// Typed: SystemFn<decltype(&::PlaySoundW)>(L"winmm.dll", "PlaySoundW").
template <typename Fn>
Fn SystemFn(const wchar_t* dll, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(SystemProc(dll, name)));
}

}  // namespace qv
