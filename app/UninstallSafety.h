#pragma once
// Rails for an uninstaller that runs with administrator rights: whatever its
// data file says, it must not delete outside the product.
#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "base/QvFinalPath.h"

namespace qv {

// Joins parts into out (MAX_PATH units). False, with out empty, when the
// result would not fit: a long path is skipped, never cut, because a cut
// path can name another file.
bool JoinPath(wchar_t* out, std::initializer_list<std::wstring_view> parts);

// True when the engine may delete path (a file or a folder, with or without
// a trailing backslash). Refused:
//   - anything but a plain absolute path on a local drive: relative, rooted,
//     device-namespace and network paths, paths on a mapped network drive,
//     "." or ".." segments, names with trailing dots or spaces, a colon
//     after the drive's (a stream: "C:\Windows::$INDEX_ALLOCATION");
//   - a drive root; a well-known folder (Windows, system, Program Files,
//     ProgramData, every user profile, desktops, documents, downloads,
//     music, pictures, videos, favorites, saved games, Start menu,
//     application data, the temporary folder, ...) or a folder holding one;
//   - anything inside the Windows folder, ProgramData\Microsoft (but for the
//     all-users Start menu), the Default profile, or another user's profile
//     (every child of the profiles folder but the current user's profile and
//     Public), and the recycle bins, restore points, Windows.old, Recovery
//     and boot folders at the root of any drive.
// Each form of the path is checked: as given, with short names spelled
// out, and with links on the way resolved.
bool IsDeletableTarget(const wchar_t* path);

// IsDeletableTarget for what an open handle names, by its final path: a
// check by path and a later open by path may meet two different objects.
bool IsDeletableHandle(HANDLE handle);

namespace seam {
// Test rigs: what the drive letter is taken for (a DRIVE_* type; 0 asks the
// system again). Wine reports no drive as a network drive.
void SetDriveType(wchar_t letter, UINT type);
}  // namespace seam

}  // namespace qv
