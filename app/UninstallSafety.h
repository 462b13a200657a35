#pragma once
// Rails for an uninstaller that runs with administrator rights: whatever its
// data file says, it must not delete outside the product. These checks and
// the link-aware folder walk are used by the uninstall engine.
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string_view>

namespace qv {

// Joins parts into out (MAX_PATH units). False, with out empty, when the
// result would not fit: a long path is skipped, never cut, because a cut
// path can name another file.
bool JoinPath(wchar_t* out, std::initializer_list<std::wstring_view> parts);

// True when the engine may delete path (a file or a folder, with or without
// a trailing backslash). Refused: anything but a plain absolute path (a
// relative or drive-relative path, a "." or ".." segment, a device-namespace
// path), a drive or share root, and a well-known shell folder (Windows,
// system, Program Files, ProgramData, users, profile, desktops, documents,
// Start menu, application data, temporary folder) or a folder holding one.
bool IsDeletableTarget(const wchar_t* path);

// True when path is a folder link (junction, symbolic link or other
// directory reparse point). Deleting through one would reach its target.
bool IsDirectoryLink(const wchar_t* path);
// Removes a folder link itself, leaving its target untouched. True when the
// link is gone.
bool RemoveDirectoryLink(const wchar_t* path);
// Removes every folder link below folder, dot-folders included, so that a
// later "rd /S" cannot follow one. True when none is left.
bool RemoveLinksBelow(const wchar_t* folder);

enum class ItemKind { File, Folder, Link };
// Calls visit(path, kind, dotName) for each item of folder (which ends with
// a backslash); "." and ".." are not reported, nor items whose path would
// not fit MAX_PATH. A folder's path ends with a backslash; a link's does
// not. dotName is true when the name begins with a full stop. False when the
// folder cannot be searched.
using FolderVisitor = std::function<void(const wchar_t* path, ItemKind kind, bool dotName)>;
bool WalkFolder(const wchar_t* folder, const FolderVisitor& visit);

}  // namespace qv
