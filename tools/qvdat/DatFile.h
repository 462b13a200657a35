#pragma once
// "qvUninstall.dat" as the tool writes and reads it, byte by byte, so that
// the same code runs on Linux and Windows. The layout itself lives with the
// uninstaller (app/UninstallFormat.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/UninstallFormat.h"

namespace qvdat {

using qvformat::kHeaderSize;
using qvformat::kPathWidth;
using qvformat::kRecordSize;

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
