#pragma once
// The layout of "qvUninstall.dat" as the tool writes and reads it, byte by
// byte, so that the same code runs on Linux and Windows.
//
// Header, 760 bytes: regkey (100 UTF-16 units), product (50), startmenu
// (30), installdir (200); each field NUL-terminated and zero-padded, so it
// holds one unit less than its width. When installdir is empty: a 32-bit
// entry count and that many records. Then a 32-bit shortcut count and that
// many records. Record, 524 bytes: 32-bit isFile, path (260 units).
// Integers are little-endian.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvdat {

constexpr size_t kHeaderSize = 760;
constexpr size_t kRecordSize = 524;
constexpr size_t kPathWidth = 260;

struct Record {
    int32_t isFile = 0;
    std::u16string path;
};

struct DatModel {
    std::u16string regKey, product, startMenu, installDir;
    std::vector<Record> entries;    // only when installDir is empty
    std::vector<Record> shortcuts;
};

struct HeaderField {
    const char* name;  // as in the manifest
    size_t offset;     // bytes
    size_t width;      // UTF-16 units, terminator included
    std::u16string DatModel::*member;
};
extern const HeaderField kHeaderFields[4];

// The file's bytes; false, with the reasons in *errors, when a value does
// not fit its field or the model cannot be written (entries beside an
// installdir).
bool Encode(const DatModel& model, std::string* bytes, std::vector<std::string>* errors);

// Reads bytes as the uninstaller does. Whatever could be read lands in
// *model; everything the uninstaller would ignore or find wrong is listed
// in *problems. False when not even the header is there.
bool Decode(const std::string& bytes, DatModel* model, std::vector<std::string>* problems);

}  // namespace qvdat
