#pragma once
// The human-readable form of a data file: UTF-8 text, one "key = value"
// line per field or record, "#" comment lines, blank lines ignored.
//
//   product    = 塔洛播放器
//   regkey     = TaloPlayer
//   startmenu  = 塔洛软件
//   installdir = C:\Program Files\Talo\Player
//   file       = C:\ProgramData\Talo\player.ini
//   folder     = C:\ProgramData\Talo\cache\   (a folder and all below it)
//   shortcut   = C:\Users\Public\Desktop\塔洛播放器帮助.lnk
//
// Values are trimmed of surrounding spaces and tabs; a value wrapped in
// double quotes keeps them (one pair of quotes is taken off).
#include <string>
#include <vector>

#include "DatFile.h"

namespace qvdat {

// False, with the reasons in *errors, on anything the uninstaller would not
// take as meant: unknown keys, repeated header keys, invalid UTF-8, control
// characters, values longer than their fields, records beside an
// installdir, paths it would refuse. A folder path gets its final
// backslash.
bool ParseManifest(const std::string& text, DatModel* model, std::vector<std::string>* errors);

// The manifest for a model; values that a manifest cannot carry (control
// characters, broken UTF-16) are spelled with U+FFFD and listed in
// *problems.
std::string PrintManifest(const DatModel& model, std::vector<std::string>* problems);

}  // namespace qvdat
