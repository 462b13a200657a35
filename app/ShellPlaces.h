#pragma once
// Where the shell's folders of the current user and of all users stand on a
// standard system. The user's own registry (and anything that reads it, the
// shell and the known-folder API included) can point them anywhere, and an
// unelevated program of the same user can change it; this program runs as
// administrator, so it takes them from what only administrators can write:
// the machine's profile list.
#include <string>
#include <vector>

namespace qv {

struct ShellPlaces {
    std::wstring profile;         // the current user's profile folder
    std::wstring profiles;        // the folder that holds the profiles
    std::wstring publicProfile;   // the all-users profile (Public)
    std::wstring defaultProfile;  // the profile new users are copied from
    std::wstring programData;
    // The current user's and all users' Start-menu programs folders.
    std::vector<std::wstring> programs;
    // Folders that hold shortcuts: desktops, Start menus, their programs
    // folders, Quick Launch.
    std::vector<std::wstring> shortcutFolders;
};

// Read once; every path is in its final form (no link on the way, long
// names) and without a trailing backslash. Empty fields when the profile
// list does not name them.
const ShellPlaces& StandardPlaces();

// True when finalPath (as FinalPath gives it) is one of the standard
// Start-menu programs folders.
bool IsStandardProgramsFolder(const std::wstring& finalPath);

// True when finalPath is a shortcut file in a standard shortcut folder: a
// ".lnk", ".url" or ".pif" directly in it, or a ".lnk" one folder below.
bool IsShortcutPlace(const std::wstring& finalPath);

// True when name is one plain path component: not empty, no separator, no
// colon, not "." or "..", no trailing dot or space.
bool IsPlainComponent(const wchar_t* name);

}  // namespace qv
