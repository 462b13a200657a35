#pragma once
// The facts of "qvUninstall.dat" in one place, for the uninstaller and for
// the qvdat tool, which builds on Linux too: so this header uses nothing of
// Windows.
//
// The file is a direct image of fixed records, integers 32-bit signed
// little-endian, text UTF-16LE in zero-padded fields that hold their width
// minus one characters and a terminator:
//   header, 760 bytes: regkey, product, startmenu, installdir (below);
//   only when installdir is empty: an entry count and that many records;
//   then, optionally, a shortcut count and that many records.
//   record, 524 bytes: isFile (4 bytes), path (260 units).
#include <cstddef>

// The data file's name, beside the uninstaller.
#define QV_DATA_FILE_NAME "qvUninstall.dat"

namespace qvformat {

inline constexpr size_t kHeaderSize = 760;
inline constexpr size_t kRecordSize = 524;
inline constexpr size_t kCountSize = 4;
inline constexpr size_t kPathOffset = 4;   // within a record, after isFile
inline constexpr size_t kPathWidth = 260;  // UTF-16 units, terminator included

struct TextField {
    const char* key;  // its name in qvdat's manifest
    size_t offset;    // bytes from the start of the header
    size_t width;     // UTF-16 units, terminator included
};

inline constexpr TextField kRegKeyField{"regkey", 0, 100};
inline constexpr TextField kProductField{"product", 200, 50};
inline constexpr TextField kStartMenuField{"startmenu", 300, 30};
inline constexpr TextField kInstallDirField{"installdir", 360, 200};

// The largest data file the uninstaller reads: about 8,000 records, far
// more than any product's list. A larger one is taken for damaged, so a
// huge or sparse file cannot exhaust memory or stall the start.
inline constexpr size_t kMaxFileSize = 4u * 1024 * 1024;

static_assert(kInstallDirField.offset + 2 * kInstallDirField.width == kHeaderSize);
static_assert(kPathOffset + 2 * kPathWidth == kRecordSize);

}  // namespace qvformat
