#pragma once
// Walking and deleting a product's folders by handle. A walk by path can be
// redirected: rename a folder on the way and put a link (or another folder)
// in its place, and the next path leads somewhere else. Here each folder is
// held open, without delete sharing, while the walk works below it, every
// item is opened relative to its folder's handle without following links,
// what it is (file, folder, link) is decided from the open handle, and it
// is deleted through that handle. No rename of any folder on the way can
// then change what is deleted.
#include <windows.h>

#include <functional>
#include <string_view>

#include "base/QvScoped.h"

namespace qv {

enum class ItemKind { File, Folder, Link };

// An item as its folder lists it; name is valid during the visit only.
struct FolderItem {
    std::wstring_view name;
    ItemKind kind;
    bool dotName;       // begins with a full stop
    LONGLONG fileId;    // 0 when the file system gives none
    DWORD kindBits;     // its directory and reparse-point attributes
};

// Opens the folder at path for a walk: the folder itself (never a link's
// target), after checking that what was opened may be deleted. Invalid when
// path is a link, not a folder, or refused.
ScopedFile OpenWalkRoot(const wchar_t* path);

// Lists an open folder ("." and ".." left out). False when it cannot be
// listed.
bool ListFolder(HANDLE folder, const std::function<void(const FolderItem&)>& visit);

// Opens item relative to folder, as what the listing said it is, without
// following a link: a folder to walk (held, not deletable through this
// handle), or anything to delete. Invalid when it cannot be opened or is no
// longer the object that was listed (it was replaced meanwhile).
enum class ItemUse { Walk, Delete };
ScopedFile OpenItem(HANDLE folder, const FolderItem& item, ItemUse use);

// Removes the (by now empty) folder that root, opened by OpenWalkRoot(path),
// held: root is closed and path opened again, and only the same folder is
// removed.
bool RemoveWalkRoot(ScopedFile root, const wchar_t* path);

// What an open handle is. A link is any reparse point that is a folder.
bool KindOf(HANDLE handle, ItemKind* kind);

// Deletes the object behind handle (gone when its last handle closes); a
// folder must be empty. True when it is marked for deletion.
bool DeleteByHandle(HANDLE handle);

// Deletes the single file at path by handle, after checking what was
// opened: never a folder, never what a link points to, never a refused
// target. True when it is marked for deletion.
bool DeleteFileChecked(const wchar_t* path);

// True when path is a folder link (junction, symbolic link or other
// directory reparse point). Deleting through one would reach its target.
bool IsDirectoryLink(const wchar_t* path);
// Removes a folder link itself, leaving its target untouched. True when the
// link is gone.
bool RemoveDirectoryLink(const wchar_t* path);

// Before cmd's "rd /S" runs on folder, which follows folder links into
// their targets: removes every folder link below it, dot-folders included.
// True only when the whole tree was seen and none is left: a folder that
// cannot be listed, or a path too long for cmd, may hide one.
bool RemoveLinksBelow(const wchar_t* folder);

}  // namespace qv
