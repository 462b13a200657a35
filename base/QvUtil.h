#pragma once
// Path, system and identity utilities: free functions exported by the
// framework. Output path buffers hold at least MAX_PATH (260) units.
#include <windows.h>
#include "base/QvExport.h"

// The program's folder, ending in a backslash.
QV_API void GetCurPath(wchar_t* out);
// The folder of a loaded module (null: the program), ending in a backslash.
QV_API void GetCurPathEx(const wchar_t* module, wchar_t* out);
