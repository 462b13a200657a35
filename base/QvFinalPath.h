#pragma once
// Where an opened file or folder really is. A program that runs with
// administrator rights and acts by path can be led elsewhere by a link, a
// junction or a mount point anywhere on the path; the final path of what
// was opened shows it, whatever the system (Windows resolves each of them;
// Wine, which opens a link of its host as the target, names the target).
#include <windows.h>

#include <string>
#include <string_view>

namespace qv {

// Backslashes only, runs of separators folded (except the two that open a
// share path), trailing separators dropped.
std::wstring TidyPath(const std::wstring& path);

// The final path of what handle names, without the "\\?\" prefix and
// trailing backslashes ("\\server\share\..." for a network path); empty
// when it cannot be read.
std::wstring FinalPath(HANDLE handle);

// The final path of the folder at path, links on the way followed; empty
// when it cannot be opened.
std::wstring FinalFolderPath(const wchar_t* path);

// The long form of path: made full, short names spelled out, separators
// tidied, no trailing backslash (links on the way are not resolved). Empty
// when it cannot be formed.
std::wstring LongForm(const std::wstring& path);

// True when two paths are the same text, ignoring case as the file system
// does.
bool SamePathText(std::wstring_view a, std::wstring_view b);

// True when handle names exactly the object at path: its final path is the
// long form of path. False when any component of path is a link, junction
// or mount point, since the final path then names the target.
bool OpensAsNamed(HANDLE handle, const wchar_t* path);

// True when handle is a plain file at exactly path: not a folder, not a
// link (opened as itself or as its target), and its only name.
bool IsPlainFileAt(HANDLE handle, const wchar_t* path);

}  // namespace qv
