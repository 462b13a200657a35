#pragma once
// Whose word an elevated program may take. Its manifest asks for
// administrator rights, so on Windows it always runs elevated; a file it
// reads, or a DLL it loads, from a place a standard user can change would
// make an administrator's program do that user's bidding. Products built
// on the framework call the same rule for their own files.
#include <windows.h>

#include <string>

#include "base/QvExport.h"
#include "base/QvScoped.h"

namespace qv::trust {

// True when the process runs with an elevated (administrator) token.
QV_API bool IsElevated();

// True when no one but Administrators, SYSTEM, TrustedInstaller and the
// account this process runs as can write to, add to, delete, rename or
// replace the object open as `object` (a file or folder handle opened with
// READ_CONTROL), or change its security: its owner is one of them, it has
// a DACL, and no allow entry that applies to the object grants such a right
// to anyone else. False, with the reason in *why (for the log), otherwise
// or when the descriptor cannot be read.
QV_API bool OnlyTrustedCanChange(HANDLE object, std::wstring* why = nullptr);

// True when no one but those accounts can delete, rename or replace what
// others made in the folder open as `folder`, or the folder itself, though
// others may add to it (as users may to the system's temporary folder).
QV_API bool OnlyTrustedCanRemoveFrom(HANDLE folder, std::wstring* why = nullptr);

// The same two rules on a security descriptor held in memory (a
// registry key's, say): OnlyTrustedCanChange, or with removeOnly
// OnlyTrustedCanRemoveFrom.
QV_API bool DescriptorLetsOnlyTrustedChange(PSECURITY_DESCRIPTOR sd, bool removeOnly,
                                            std::wstring* why = nullptr);

enum class Verdict {
    Trusted,    // *file is open for reading
    Missing,    // the file is not there (the folder passed)
    Untrusted,  // someone else could have changed it, or it cannot be told
};

// Opens `name` in `folder` for reading, so that what is read is what was
// checked. Not elevated: simply opens it. Elevated: Trusted only when the
// file, the folder it lies in and that folder's parent (which could rename
// the folder away) pass OnlyTrustedCanChange, each checked on the object
// opened, and the file opened is exactly `name` in that folder (no link).
// The file is opened for GENERIC_READ, shared for reading and writing but
// not for deletion, so it cannot be swapped while the handle is held.
QV_API Verdict OpenTrusted(const wchar_t* folder, const wchar_t* name, qv::ScopedFile* file,
                           std::wstring* why = nullptr);

// True when the folder at `path` and its parent (which could rename it
// away) pass OnlyTrustedCanChange, each checked on the object opened.
bool FolderTrusted(const std::wstring& path, std::wstring* why = nullptr);

// OpenTrusted without the handle: whether the program may use `file` in
// `folder` (a missing file passes: the caller finds it absent).
QV_API bool MayUse(const wchar_t* folder, const wchar_t* file);

}  // namespace qv::trust
