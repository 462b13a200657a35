// Folder walk by handle and link handling for the uninstall engine.
#include "app/UninstallWalk.h"

#include <winternl.h>

#include <string>
#include <vector>

#include "app/ShellPlaces.h"
#include "app/UninstallSafety.h"

namespace qv {

namespace {

// A folder is held without delete sharing: while it is open here nobody can
// rename it, delete it or put something else in its place. It is held
// without delete access, which a process's current folder (held without
// delete sharing) would refuse: it is opened again to be removed.
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Files and links ask for no more than DeleteFileW does, so they can be
// deleted whenever DeleteFileW could.
constexpr DWORD kItemAccess = FILE_READ_ATTRIBUTES | DELETE | SYNCHRONIZE;
constexpr DWORD kItemShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kKindBits = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
constexpr size_t kListBytes = 16 * 1024;

bool IsDotOrDotDot(std::wstring_view name) {
    return name == L"." || name == L"..";
}

ItemKind KindFromAttributes(DWORD attrs) {
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) return ItemKind::File;
    return (attrs & FILE_ATTRIBUTE_REPARSE_POINT) ? ItemKind::Link : ItemKind::Folder;
}

// Attributes and file ID of an open handle. Asked of the file itself:
// GetFileInformationByHandle also asks for the volume, which Wine answers
// through a round trip to its mount manager, once for every item walked.
bool HandleInfo(HANDLE handle, DWORD* attrs, LONGLONG* id) {
    constexpr auto kInternal = static_cast<FILE_INFORMATION_CLASS>(6);       // FileInternalInformation
    constexpr auto kAttributeTag = static_cast<FILE_INFORMATION_CLASS>(35);  // FileAttributeTagInformation
    IO_STATUS_BLOCK io{};
    FILE_ATTRIBUTE_TAG_INFORMATION tag{};
    FILE_INTERNAL_INFORMATION internal{};
    if (!NT_SUCCESS(::NtQueryInformationFile(handle, &io, &tag, sizeof(tag), kAttributeTag)) ||
        !NT_SUCCESS(::NtQueryInformationFile(handle, &io, &internal, sizeof(internal), kInternal)))
        return false;
    *attrs = tag.FileAttributes;
    *id = internal.IndexNumber.QuadPart;
    return true;
}

// The name the system gives the object behind handle, in its own namespace
// ("\Device\HarddiskVolume2\..." on Windows, "\??\C:\..." under Wine).
// One request, and the same form for a folder and the items opened in it.
// Read into a buffer of its own (no allocation for the usual length): the
// walk asks it of every item.
class ObjectNameReader {
public:
    std::wstring_view Read(HANDLE handle) {
        constexpr auto kNameInformation = static_cast<OBJECT_INFORMATION_CLASS>(1);
        ULONG size = 0;
        void* buffer = fixed_;
        NTSTATUS status = ::NtQueryObject(handle, kNameInformation, fixed_, sizeof(fixed_), &size);
        if (!NT_SUCCESS(status) && size > sizeof(fixed_) && size < 0x20000) {
            // A path longer than the usual: as long as the system says.
            large_.assign(size / sizeof(LONGLONG) + 1, 0);
            buffer = large_.data();
            status = ::NtQueryObject(handle, kNameInformation, buffer,
                                     static_cast<ULONG>(large_.size() * sizeof(LONGLONG)), &size);
        }
        if (!NT_SUCCESS(status)) return std::wstring_view();
        const auto* name = static_cast<const UNICODE_STRING*>(buffer);
        if (!name->Buffer) return std::wstring_view();
        return std::wstring_view(name->Buffer, name->Length / sizeof(wchar_t));
    }

private:
    // UNICODE_STRING first, then the text: LONGLONG keeps it aligned.
    LONGLONG fixed_[(sizeof(UNICODE_STRING) + 1024 * sizeof(wchar_t)) / sizeof(LONGLONG)];
    std::vector<LONGLONG> large_;
};

std::wstring ObjectName(HANDLE handle) {
    ObjectNameReader reader;
    return std::wstring(reader.Read(handle));
}

// True when the object behind handle is the entry name of the folder called
// folderName: not a link that the system followed to its target.
bool IsEntryOf(HANDLE handle, const std::wstring& folderName, std::wstring_view name) {
    ObjectNameReader reader;
    std::wstring_view opened = reader.Read(handle);
    size_t len = folderName.size();
    return !folderName.empty() && opened.size() == len + 1 + name.size() &&
           opened[len] == L'\\' && SamePathText(opened.substr(0, len), folderName) &&
           SamePathText(opened.substr(len + 1), name);
}

// The path without its trailing backslashes: attribute queries and opens
// of a link address the link itself.
std::wstring WithoutTrailingSlash(const wchar_t* path) {
    std::wstring p = path;
    while (p.size() > 3 && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
    return p;
}

// Opens path itself (a link, not its target) with the given access.
ScopedFile OpenOwn(const std::wstring& path, DWORD access, DWORD share) {
    return ScopedFile(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
}

}  // namespace

HeldFolder OpenWalkRoot(const wchar_t* path) {
    if (!IsDeletableTarget(path)) return HeldFolder();
    std::wstring folder = WithoutTrailingSlash(path);
    // Ask the path as well as the handle: Wine reports a host symbolic link
    // as a reparse point by path, but opens it as its target.
    DWORD attrs = ::GetFileAttributesW(folder.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || KindFromAttributes(attrs) != ItemKind::Folder)
        return HeldFolder();
    HeldFolder held{OpenOwn(folder, kFolderAccess, kFolderShare), std::wstring()};
    ItemKind kind;
    // The checks by path came before the open: check what was opened. Its
    // final path shows a link anywhere on the way, whatever the system.
    if (!held || !KindOf(held.handle.get(), &kind) || kind != ItemKind::Folder ||
        !OpensAsNamed(held.handle.get(), folder.c_str()) || !IsDeletableHandle(held.handle.get()))
        return HeldFolder();
    held.objectName = ObjectName(held.handle.get());
    if (held.objectName.empty()) return HeldFolder();
    return held;
}

bool RemoveWalkRoot(HeldFolder root, const wchar_t* path) {
    DWORD attrs = 0;
    LONGLONG id = 0;
    if (!root || !HandleInfo(root.handle.get(), &attrs, &id)) return false;
    root.handle.reset();
    // Opened again by path: it must be the folder that was walked.
    std::wstring folder = WithoutTrailingSlash(path);
    ScopedFile handle = OpenOwn(folder, kItemAccess, kItemShare);
    DWORD nowAttrs = 0;
    LONGLONG nowId = 0;
    return handle && HandleInfo(handle.get(), &nowAttrs, &nowId) && nowId == id &&
           (nowAttrs & kKindBits) == (attrs & kKindBits) &&
           OpensAsNamed(handle.get(), folder.c_str()) && IsDeletableHandle(handle.get()) &&
           DeleteByHandle(handle.get());
}

bool ListFolder(HANDLE folder, const std::function<void(const FolderItem&)>& visit) {
    // LONGLONG elements: the records hold 64-bit fields and must be aligned.
    std::vector<LONGLONG> buffer(kListBytes / sizeof(LONGLONG));
    for (;;) {
        if (!::GetFileInformationByHandleEx(folder, FileIdBothDirectoryInfo, buffer.data(),
                                            static_cast<DWORD>(kListBytes)))
            return ::GetLastError() == ERROR_NO_MORE_FILES;
        const auto* bytes = reinterpret_cast<const BYTE*>(buffer.data());
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
            std::wstring_view name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (!IsDotOrDotDot(name)) {
                FolderItem item{name, KindFromAttributes(info->FileAttributes),
                                info->FileId.QuadPart, info->FileAttributes & kKindBits};
                visit(item);
            }
            if (info->NextEntryOffset == 0) break;
            bytes += info->NextEntryOffset;
        }
    }
}

ScopedFile OpenItem(const HeldFolder& folder, const FolderItem& item, ItemUse use) {
    if (item.name.empty() || item.name.size() > 0x7FFF / sizeof(wchar_t)) return ScopedFile();
    UNICODE_STRING name;
    name.Buffer = const_cast<wchar_t*>(item.name.data());
    name.Length = name.MaximumLength = static_cast<USHORT>(item.name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, folder.handle.get(),
                               nullptr);
    ULONG options = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT;
    DWORD access = kItemAccess, share = kItemShare;
    if (item.kind == ItemKind::Folder) {
        options |= FILE_DIRECTORY_FILE;
        if (use == ItemUse::Walk) {
            access = kFolderAccess;
            share = kFolderShare;
        }
    } else if (item.kind == ItemKind::File) {
        options |= FILE_NON_DIRECTORY_FILE;
    }
    IO_STATUS_BLOCK io{};
    HANDLE raw = nullptr;
    // Relative to the folder's handle: the name is looked up in the folder
    // that was listed, wherever it has been moved since.
    if (!NT_SUCCESS(::NtCreateFile(&raw, access, &attributes, &io, nullptr, 0, share, FILE_OPEN,
                                   options, nullptr, 0)))
        return ScopedFile();
    ScopedFile handle(raw);
    // It must be the entry of this folder: a link that this system opens as
    // its target (Wine does so with a host symbolic link, and shows the
    // target's attributes and file ID) is not to be deleted through or
    // walked into.
    if (!IsEntryOf(raw, folder.objectName, item.name)) return ScopedFile();
    // A file needs no more. It was opened relative to a folder that nobody
    // can move or replace meanwhile, by its name, as a non-folder and as
    // itself (a link of Windows is opened, and deleted, as the link; a hard
    // link loses one of its names): whatever file bears the name now is the
    // product's to delete. A folder is walked into, or removed, only while
    // it is still the object listed, of the kind listed.
    if (item.kind == ItemKind::File) return handle;
    DWORD attrs = 0;
    LONGLONG id = 0;
    if (!HandleInfo(raw, &attrs, &id) || (attrs & kKindBits) != item.kindBits ||
        (item.fileId != 0 && id != item.fileId))
        return ScopedFile();
    return handle;
}

HeldFolder OpenSubfolder(const HeldFolder& folder, const FolderItem& item) {
    HeldFolder sub{OpenItem(folder, item, ItemUse::Walk), std::wstring()};
    if (sub) sub.objectName = folder.objectName + L"\\" + std::wstring(item.name);
    return sub;
}

namespace {

int CountAt(const HeldFolder& folder, int depth) {
    int count = 0;
    ListFolder(folder.handle.get(), [&](const FolderItem& item) {
        if (item.kind == ItemKind::File) {
            ++count;
        } else if (item.kind == ItemKind::Folder && depth < kMaxWalkDepth) {
            HeldFolder sub = OpenSubfolder(folder, item);
            if (sub) count += CountAt(sub, depth + 1);
        }
    });
    return count;
}

void DeleteAt(const HeldFolder& folder, int depth, const DeletedFile& onFile) {
    ListFolder(folder.handle.get(), [&](const FolderItem& item) {
        if (item.kind == ItemKind::Folder) {
            if (depth >= kMaxWalkDepth) return;
            HeldFolder sub = OpenSubfolder(folder, item);
            if (!sub) return;
            DeleteAt(sub, depth + 1, onFile);
        }
        // Opened (again) to be deleted: a folder once emptied, a link as
        // itself, a file; in each case the very object that was listed.
        ScopedFile handle = OpenItem(folder, item, ItemUse::Delete);
        bool marked = handle && DeleteByHandle(handle.get());
        handle.reset();
        if (item.kind == ItemKind::File) onFile(folder, item.name, marked);
    });
}

}  // namespace

int CountFilesBelow(const HeldFolder& folder) {
    return folder ? CountAt(folder, 0) : 0;
}

void DeleteBelow(const HeldFolder& folder, const DeletedFile& onFile) {
    if (folder) DeleteAt(folder, 0, onFile);
}

bool KindOf(HANDLE handle, ItemKind* kind) {
    DWORD attrs = 0;
    LONGLONG id = 0;
    if (!HandleInfo(handle, &attrs, &id)) return false;
    *kind = KindFromAttributes(attrs);
    return true;
}

bool DeleteByHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO info{};
    info.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &info, sizeof(info)) != 0;
}

namespace {

bool DeleteFileWhere(const wchar_t* path, bool (*place)(const std::wstring& finalPath)) {
    if (!IsDeletableTarget(path)) return false;
    std::wstring file = path;
    DWORD attrs = ::GetFileAttributesW(file.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || KindFromAttributes(attrs) != ItemKind::File)
        return false;
    ScopedFile handle = OpenOwn(file, kItemAccess, kItemShare);
    DWORD handleAttrs = 0;
    LONGLONG id = 0;
    // A link the system opened as its target shows other attributes than
    // the path, and its final path is the target's: leave it rather than
    // delete the target. The final path also shows a link on the way.
    if (!handle || !HandleInfo(handle.get(), &handleAttrs, &id) ||
        (handleAttrs & kKindBits) != (attrs & kKindBits) ||
        !OpensAsNamed(handle.get(), file.c_str()) || !IsDeletableHandle(handle.get()) ||
        (place && !place(FinalPath(handle.get()))))
        return false;
    return DeleteByHandle(handle.get());
}

}  // namespace

bool DeleteFileChecked(const wchar_t* path) {
    return DeleteFileWhere(path, nullptr);
}

bool DeleteShortcutChecked(const wchar_t* path) {
    return DeleteFileWhere(path, &IsShortcutPlace);
}

bool IsDirectoryLink(const wchar_t* path) {
    DWORD attrs = ::GetFileAttributesW(WithoutTrailingSlash(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && KindFromAttributes(attrs) == ItemKind::Link;
}

}  // namespace qv
