#pragma once
// Whether an elevated program may take code or settings from a place on
// disk. A program installed under ProgramData or a profile sits in a folder
// that a standard user may write; a DLL or settings file planted there would
// run, or be obeyed, with administrator rights.
#include <windows.h>

namespace qv::trust {

// True when the process runs with an elevated (administrator) token.
bool IsElevated();

// True when no one but Administrators, SYSTEM and TrustedInstaller can write
// to, delete, or change the security of `path` (a file or a folder): its
// owner is one of them, it has a DACL, and no allow entry that applies to it
// grants such a right to any other account. False when the descriptor
// cannot be read.
bool OnlyAdminsCanWrite(const wchar_t* path);

// What the program may do with `file` in `folder` (full path with a
// trailing backslash): always when it is not elevated; when it is, only if
// both the folder and the file pass OnlyAdminsCanWrite.
bool MayUse(const wchar_t* folder, const wchar_t* file);

}  // namespace qv::trust
