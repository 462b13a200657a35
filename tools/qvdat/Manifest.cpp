#include "Manifest.h"

#include <sstream>

#include "Utf.h"
#include "app/UninstallFormat.h"
#include "app/UninstallRules.h"

namespace qvdat {

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool IsSep(char16_t c) { return c == u'\\' || c == u'/'; }

// What the uninstaller refuses outright, by the same rules it uses. Empty
// paths pass: the uninstaller skips them.
bool IsPlainAbsolutePath(const std::u16string& path) {
    return path.empty() || qv::rules::IsPlainAbsolute(std::u16string_view(path));
}

bool HasControl(const std::u16string& text) {
    for (char16_t c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

std::string Quote(const std::string& value) {
    bool needs = !value.empty() && (value.front() == ' ' || value.front() == '\t' ||
                                    value.back() == ' ' || value.back() == '\t' ||
                                    value.front() == '"');
    return needs ? "\"" + value + "\"" : value;
}

std::string Line(const char* key, const std::string& value) {
    return std::string(key) + (value.empty() ? " =\n" : " = " + value + "\n");
}

std::string Printable(const char* key, const std::u16string& value,
                      std::vector<std::string>* problems) {
    bool clean = true;
    std::u16string shown = value;
    for (char16_t& c : shown) {
        if (c < 0x20 || c == 0x7F) {
            c = 0xFFFD;
            clean = false;
        }
    }
    bool utfClean = true;
    std::string text = Utf16ToUtf8(shown, &utfClean);
    if (!clean || !utfClean)
        problems->push_back(std::string(key) +
                            ": holds characters a manifest cannot carry; shown as U+FFFD");
    return Quote(text);
}

}  // namespace

bool ParseManifest(const std::string& text, DatModel* model, std::vector<std::string>* errors) {
    *model = DatModel();
    size_t before = errors->size();
    bool seen[4] = {};
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::string where = "line " + std::to_string(number) + ": ";
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        size_t eq = trimmed.find('=');
        if (eq == std::string::npos) {
            errors->push_back(where + "expected \"key = value\"");
            continue;
        }
        std::string key = Trim(trimmed.substr(0, eq));
        std::string raw = Trim(trimmed.substr(eq + 1));
        if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"')
            raw = raw.substr(1, raw.size() - 2);
        std::u16string value;
        if (!Utf8ToUtf16(raw, &value)) {
            errors->push_back(where + "not valid UTF-8");
            continue;
        }
        if (HasControl(value)) {
            errors->push_back(where + key + ": control characters are not allowed");
            continue;
        }

        bool header = false;
        for (int i = 0; i < 4; ++i) {
            const HeaderField& f = kHeaderFields[i];
            if (key != f.name) continue;
            header = true;
            if (seen[i]) errors->push_back(where + key + " is given twice");
            seen[i] = true;
            model->*f.member = value;
        }
        if (header) continue;

        Record record;
        std::vector<Record>* list = &model->entries;
        if (key == "file") {
            record.isFile = 1;
        } else if (key == "folder") {
            record.isFile = 0;
            // The uninstaller appends "*.*" to a folder path.
            if (!value.empty() && !IsSep(value.back())) value.push_back(u'\\');
        } else if (key == "shortcut") {
            record.isFile = 1;
            list = &model->shortcuts;
        } else {
            errors->push_back(where + "unknown key \"" + key +
                              "\" (known: regkey, product, startmenu, installdir, file, "
                              "folder, shortcut)");
            continue;
        }
        if (!IsPlainAbsolutePath(value)) {
            errors->push_back(where + key +
                              ": the uninstaller refuses paths that are not on a drive "
                              "(X:\\...), that hold \".\" or \"..\", a name ending in a full "
                              "stop or a space, or a colon after the drive's");
            continue;
        }
        if (value.size() >= kPathWidth) {
            errors->push_back(where + key + ": " + std::to_string(value.size()) +
                              " UTF-16 units is too long; a path holds at most " +
                              std::to_string(kPathWidth - 1));
            continue;
        }
        if (list == &model->shortcuts && !value.empty() &&
            !qv::rules::HasShortcutExtension(std::u16string_view(value))) {
            errors->push_back(where + "shortcut: the uninstaller deletes only shortcuts (.lnk, "
                              ".url, .pif) in the desktop, Start-menu and Quick Launch folders");
            continue;
        }
        record.path = value;
        list->push_back(record);
    }
    if (!model->startMenu.empty() &&
        !qv::rules::IsPlainComponent(std::u16string_view(model->startMenu)))
        errors->push_back("startmenu: one folder name, directly in the Start menu's programs "
                          "folder");
    if (!model->regKey.empty() && !qv::rules::IsPlainKeyName(std::u16string_view(model->regKey)))
        errors->push_back("regkey: one key name under the uninstall key, without \\");
    const std::u16string& dir = model->installDir;
    if (!dir.empty() && !IsPlainAbsolutePath(dir))
        errors->push_back("installdir: must be a path on a drive (X:\\...) without \".\", "
                          "\"..\", names ending in a full stop or a space, or a colon");
    if (dir.find_first_of(u"\"%!") != std::u16string::npos)
        errors->push_back("installdir: a double quote, percent sign or exclamation mark would "
                          "keep the uninstaller from removing the folder");
    std::string unused;  // Encode has the limits of every field
    Encode(*model, &unused, errors);
    return errors->size() == before;
}

std::string PrintManifest(const DatModel& model, std::vector<std::string>* problems) {
    std::string out = "# " QV_DATA_FILE_NAME "\n";
    for (const HeaderField& f : kHeaderFields)
        out += Line(f.name, Printable(f.name, model.*f.member, problems));
    for (const Record& r : model.entries) {
        const char* key = r.isFile ? "file" : "folder";
        out += Line(key, Printable(key, r.path, problems));
    }
    for (const Record& r : model.shortcuts)
        out += Line("shortcut", Printable("shortcut", r.path, problems));
    return out;
}

}  // namespace qvdat
