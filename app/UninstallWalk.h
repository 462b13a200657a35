#pragma once
// Walking and deleting a product's folders by handle. A walk by path can be
// redirected: rename a folder on the way and put a link (or another folder)
// in its place, and the next path leads somewhere else. Here each folder is
// held open, without delete sharing, while the walk works below it, every
// item is opened relative to its folder's handle without following links,
// what it is (file, folder, link) and where it is are decided from the open
// handle, and it is deleted through that handle. No rename of any folder on
// the way can then change what is deleted.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "base/QvScoped.h"

namespace qv {

enum class ItemKind { File, Folder, Link };

// An item as its folder lists it; name is valid during the visit only.
struct FolderItem {
    std::wstring_view name;
    ItemKind kind;
    LONGLONG fileId;    // 0 when the file system gives none
    DWORD kindBits;     // its directory and reparse-point attributes
};

// A folder held open for a walk, with the name the system gives the object
// it opened: an item opened in it must carry this name and its own.
struct HeldFolder {
    ScopedFile handle;
    std::wstring objectName;
    explicit operator bool() const { return static_cast<bool>(handle); }
};

// Trees deeper than this below a walked folder are left in place: each
// level holds a handle and a listing, and a tree made deep on purpose must
// not exhaust them (or the stack).
constexpr int kMaxWalkDepth = 100;

// Opens the folder at path for a walk: the folder itself, after checking
// that what was opened may be deleted and is the very folder that path
// names, no component of it a link, junction or mount point. Invalid
// otherwise.
HeldFolder OpenWalkRoot(const wchar_t* path);

// Lists an open folder ("." and ".." left out). False when it cannot be
// listed.
bool ListFolder(HANDLE folder, const std::function<void(const FolderItem&)>& visit);

// Opens item relative to folder, as what the listing said it is, without
// following a link: a folder to walk (held, not deletable through this
// handle), or anything to delete. Invalid when it cannot be opened, when
// what was opened is not the entry of this folder by that name (the system
// opened a link as its target), or, for a folder or a link, when it is no
// longer the object listed. A file is whatever file bears the name now.
enum class ItemUse { Walk, Delete };
ScopedFile OpenItem(const HeldFolder& folder, const FolderItem& item, ItemUse use);
// OpenItem(..., Walk), held as a folder of its own.
HeldFolder OpenSubfolder(const HeldFolder& folder, const FolderItem& item);

// Removes the (by now empty) folder that root, opened by OpenWalkRoot(path),
// held: root is closed and path opened again, and only the same folder is
// removed.
bool RemoveWalkRoot(HeldFolder root, const wchar_t* path);

// Counts the files below folder, down to kMaxWalkDepth levels.
int CountFilesBelow(const HeldFolder& folder);

// Deletes what lies below folder, down to kMaxWalkDepth levels, in the
// order it is listed: each folder after what it holds. onFile is called
// after each file with the folder it lies in, its name and whether it is
// gone.
using DeletedFile = std::function<void(const HeldFolder& in, std::wstring_view name, bool deleted)>;
void DeleteBelow(const HeldFolder& folder, const DeletedFile& onFile);

// What an open handle is. A link is any reparse point that is a folder.
bool KindOf(HANDLE handle, ItemKind* kind);

// Deletes the object behind handle (gone when its last handle closes); a
// folder must be empty. True when it is marked for deletion.
bool DeleteByHandle(HANDLE handle);

// Deletes the single file at path by handle, after checking what was
// opened: never a folder, never through a link anywhere on the path, never a
// refused target. True when it is marked for deletion.
bool DeleteFileChecked(const wchar_t* path);

// DeleteFileChecked for a shortcut: only a ".lnk", ".url" or ".pif" file in
// a standard desktop, Start-menu or Quick Launch folder (or, for ".lnk", one
// folder below one), as the opened file's final path shows.
bool DeleteShortcutChecked(const wchar_t* path);

// True when path is a folder link (junction, symbolic link or other
// directory reparse point).
bool IsDirectoryLink(const wchar_t* path);

}  // namespace qv
