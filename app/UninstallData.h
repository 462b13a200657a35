#pragma once
// Records of "qvUninstall.dat", the description of an installation that the
// product's installer leaves beside the uninstaller. The file is a direct
// image of these records; their layout is fixed in app/UninstallFormat.h and
// checked against it here.
#include <windows.h>

#include <cstddef>
#include <string>
#include <wchar.h>
#include <vector>

#include "app/UninstallFormat.h"
#include "base/QvExport.h"

inline constexpr wchar_t kUninstallDataFile[] = L"" QV_DATA_FILE_NAME;

struct UninstallHeader {
    wchar_t regKeyName[100];      // key under HKLM ...\CurrentVersion\Uninstall\ .
    wchar_t productName[50];      // shown to the user; name of the desktop .lnk
    wchar_t startMenuFolder[30];  // folder inside the user's Start-menu Programs
    wchar_t installDir[200];      // empty: delete the listed entries; else own folder
};

struct UninstallEntry {
    int isFile;              // non-zero: path names one file; zero: a folder tree
    wchar_t path[MAX_PATH];  // a folder path ends with a backslash
};

static_assert(sizeof(wchar_t) == 2, "the file holds UTF-16 text");
static_assert(sizeof(UninstallHeader) == qvformat::kHeaderSize);
static_assert(offsetof(UninstallHeader, regKeyName) == qvformat::kRegKeyField.offset);
static_assert(offsetof(UninstallHeader, productName) == qvformat::kProductField.offset);
static_assert(offsetof(UninstallHeader, startMenuFolder) == qvformat::kStartMenuField.offset);
static_assert(offsetof(UninstallHeader, installDir) == qvformat::kInstallDirField.offset);
static_assert(sizeof(UninstallHeader::regKeyName) == 2 * qvformat::kRegKeyField.width);
static_assert(sizeof(UninstallHeader::productName) == 2 * qvformat::kProductField.width);
static_assert(sizeof(UninstallHeader::startMenuFolder) == 2 * qvformat::kStartMenuField.width);
static_assert(sizeof(UninstallHeader::installDir) == 2 * qvformat::kInstallDirField.width);
static_assert(sizeof(UninstallEntry) == qvformat::kRecordSize);
static_assert(offsetof(UninstallEntry, isFile) == 0);
static_assert(offsetof(UninstallEntry, path) == qvformat::kPathOffset);
static_assert(sizeof(UninstallEntry::path) == 2 * qvformat::kPathWidth);

// The text of a fixed field, or "" when the field has no terminator. A value
// that filled its whole field was cut by whoever wrote it; used as it is it
// could name another key or folder, so it is never used at all.
template <size_t N>
const wchar_t* FieldText(const wchar_t (&field)[N]) {
    return ::wcsnlen(field, N) < N ? field : L"";
}

// Reads the header of a data file. False, with *header all zero, when the
// file cannot be opened or is shorter than a header: a header cut short may
// hold a cut name, which could name another product's key or folder.
QV_API bool ReadUninstallHeader(const wchar_t* path, UninstallHeader* header);

// Reads a whole data file into the header and the two lists. False, with
// everything empty, when the file cannot be opened or is larger than
// qvformat::kMaxFileSize (taken for damaged). Records with an empty or
// unterminated path, and a record cut short by the end of the file, are
// dropped; a count larger than the records present ends at the end of the
// file.
QV_API bool ReadUninstallFile(const wchar_t* path, UninstallHeader* header,
                              std::vector<UninstallEntry>* entries,
                              std::vector<UninstallEntry>* shortcuts);

// ReadUninstallFile on a file already open for reading. With both lists
// null only the header is read (the size bound still holds).
QV_API bool ReadUninstallHandle(HANDLE file, UninstallHeader* header,
                                std::vector<UninstallEntry>* entries,
                                std::vector<UninstallEntry>* shortcuts);

// What became of reading the data file beside the uninstaller.
enum class UninstallSource {
    Read,       // the records are those of the file
    Missing,    // there is no data file
    Damaged,    // too large, or unreadable: taken for no data at all
    Untrusted,  // elevated, and someone else could have written it: unread
};

// Reads the data file in folder as ReadUninstallFile does, only where an
// elevated program may take its word (qv::trust::OpenTrusted): the file,
// its folder and the folder's parent can be changed by no one but
// administrators, the system and this account. Everything is left empty
// unless the result is Read; *why says what failed, for the log. With both
// lists null only the header is read.
QV_API UninstallSource LoadUninstallData(const wchar_t* folder, UninstallHeader* header,
                                         std::vector<UninstallEntry>* entries,
                                         std::vector<UninstallEntry>* shortcuts,
                                         std::wstring* why = nullptr);

// Writes a data file: the header; the entry count and entries only when
// installDir is empty; then the shortcut count and the shortcut records.
// Installers written in C++ can call this instead of the qvdat tool.
QV_API bool WriteUninstallFile(const wchar_t* path, const UninstallHeader& header,
                               const UninstallEntry* entries, int entryCount,
                               const UninstallEntry* shortcuts, int shortcutCount);
