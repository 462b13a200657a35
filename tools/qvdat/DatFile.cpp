#include "DatFile.h"

namespace qvdat {

const HeaderField kHeaderFields[4] = {
    {qvformat::kRegKeyField.key, qvformat::kRegKeyField.offset, qvformat::kRegKeyField.width,
     &DatModel::regKey},
    {qvformat::kProductField.key, qvformat::kProductField.offset, qvformat::kProductField.width,
     &DatModel::product},
    {qvformat::kStartMenuField.key, qvformat::kStartMenuField.offset,
     qvformat::kStartMenuField.width, &DatModel::startMenu},
    {qvformat::kInstallDirField.key, qvformat::kInstallDirField.offset,
     qvformat::kInstallDirField.width, &DatModel::installDir},
};

namespace {

void PutInt(std::string* out, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

int32_t GetInt(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return static_cast<int32_t>(v);
}

// Writes text into width units at out[at..], NUL-padded.
void PutText(std::string* out, size_t at, const std::u16string& text, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        char16_t c = i < text.size() ? text[i] : u'\0';
        (*out)[at + 2 * i] = static_cast<char>(c & 0xFF);
        (*out)[at + 2 * i + 1] = static_cast<char>(c >> 8);
    }
}

// The text up to the first NUL; *terminated is false when there is none.
std::u16string GetText(const std::string& bytes, size_t at, size_t width, bool* terminated) {
    std::u16string text;
    for (size_t i = 0; i < width; ++i) {
        char16_t c = static_cast<char16_t>(static_cast<unsigned char>(bytes[at + 2 * i]) |
                                           static_cast<unsigned char>(bytes[at + 2 * i + 1]) << 8);
        if (c == u'\0') {
            *terminated = true;
            return text;
        }
        text.push_back(c);
    }
    *terminated = false;
    return text;
}

bool Fits(const char* name, const std::u16string& text, size_t width,
          std::vector<std::string>* errors) {
    if (text.size() < width) return true;
    errors->push_back(std::string(name) + ": " + std::to_string(text.size()) +
                      " UTF-16 units is too long; the field holds at most " +
                      std::to_string(width - 1));
    return false;
}

void PutRecords(std::string* out, const std::vector<Record>& records) {
    PutInt(out, static_cast<int32_t>(records.size()));
    for (const Record& r : records) {
        size_t at = out->size();
        out->resize(at + kRecordSize, '\0');
        std::string isFile;
        PutInt(&isFile, r.isFile);
        out->replace(at, 4, isFile);
        PutText(out, at + qvformat::kPathOffset, r.path, kPathWidth);
    }
}

// Reads one counted block of records starting at *pos.
void GetRecords(const std::string& bytes, size_t* pos, const char* what,
                std::vector<Record>* out, std::vector<std::string>* problems) {
    int32_t count = GetInt(bytes, *pos);
    *pos += 4;
    if (count < 0) {
        problems->push_back(std::string(what) + " count is negative (" + std::to_string(count) +
                            "): no records are read");
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (bytes.size() - *pos < kRecordSize) {
            if (bytes.size() > *pos)
                problems->push_back(std::string(what) + " record " + std::to_string(i + 1) +
                                    " is cut short by the end of the file and is ignored");
            problems->push_back(std::string(what) + " count announces " + std::to_string(count) +
                                " records, the file holds " + std::to_string(i));
            *pos = bytes.size();
            return;
        }
        Record r;
        r.isFile = GetInt(bytes, *pos);
        bool terminated = false;
        r.path = GetText(bytes, *pos + qvformat::kPathOffset, kPathWidth, &terminated);
        if (!terminated)
            problems->push_back(std::string(what) + " record " + std::to_string(i + 1) +
                                ": path has no terminator and is ignored");
        out->push_back(r);
        *pos += kRecordSize;
    }
}

}  // namespace

bool Encode(const DatModel& model, std::string* bytes, std::vector<std::string>* errors) {
    size_t before = errors->size();
    for (const HeaderField& f : kHeaderFields) Fits(f.name, model.*f.member, f.width, errors);
    if (!model.installDir.empty() && !model.entries.empty())
        errors->push_back("file and folder records need an empty installdir: with an "
                          "installdir the uninstaller deletes its own folder instead");
    for (const Record& r : model.entries)
        Fits(r.isFile ? "file" : "folder", r.path, kPathWidth, errors);
    for (const Record& r : model.shortcuts) Fits("shortcut", r.path, kPathWidth, errors);
    if (errors->size() != before) return false;

    bytes->assign(kHeaderSize, '\0');
    for (const HeaderField& f : kHeaderFields) PutText(bytes, f.offset, model.*f.member, f.width);
    if (model.installDir.empty()) PutRecords(bytes, model.entries);
    PutRecords(bytes, model.shortcuts);
    return true;
}

bool Decode(const std::string& bytes, DatModel* model, std::vector<std::string>* problems) {
    *model = DatModel();
    if (bytes.size() < kHeaderSize) {
        problems->push_back("the file has " + std::to_string(bytes.size()) +
                            " bytes, fewer than the " + std::to_string(kHeaderSize) +
                            "-byte header; the uninstaller ignores all of it");
        return false;
    }
    for (const HeaderField& f : kHeaderFields) {
        bool terminated = false;
        model->*f.member = GetText(bytes, f.offset, f.width, &terminated);
        if (!terminated)
            problems->push_back(std::string(f.name) + " fills its " + std::to_string(f.width) +
                                " units without a terminator; the uninstaller ignores it");
    }
    size_t pos = kHeaderSize;
    if (model->installDir.empty() && bytes.size() - pos >= 4)
        GetRecords(bytes, &pos, "entry", &model->entries, problems);
    if (bytes.size() - pos >= 4) GetRecords(bytes, &pos, "shortcut", &model->shortcuts, problems);
    if (pos < bytes.size())
        problems->push_back(std::to_string(bytes.size() - pos) +
                            " bytes after the last record are ignored");
    return true;
}

}  // namespace qvdat
