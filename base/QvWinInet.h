#pragma once
// <wininet.h> for a program that imports WinINet late (through the
// delay-import library of cmake/QvDelayLoad.cmake). Declared as DLL
// imports, its functions would be called through their import slots only,
// and GNU ld (2.40) then drops the stub that fills a delay-import slot on
// the first call: the slot stays null and the first call jumps to address
// 0. Declared plainly, calls go through the stubs, which stay. Include this
// instead of <wininet.h>, before anything else includes that.
#include <windows.h>

#pragma push_macro("DECLSPEC_IMPORT")
#undef DECLSPEC_IMPORT
#define DECLSPEC_IMPORT
#include <wininet.h>
#pragma pop_macro("DECLSPEC_IMPORT")
