#include "app/UninstallData.h"

#include <cstring>

#include "base/QvScoped.h"
#include "base/QvTrust.h"

namespace {

// Bytes actually read; a short count means the file ended.
DWORD ReadBytes(HANDLE file, void* buf, DWORD size) {
    DWORD total = 0;
    while (total < size) {
        DWORD got = 0;
        if (!::ReadFile(file, static_cast<char*>(buf) + total, size - total, &got, nullptr) ||
            got == 0)
            break;
        total += got;
    }
    return total;
}

qv::ScopedFile OpenForReading(const wchar_t* path) {
    if (!path) return qv::ScopedFile();
    // The installer may still hold the file open for writing; share like "rb".
    return qv::ScopedFile(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The whole file, read at once: parsing from memory costs nothing per
// record, and the size is known before anything is kept.
bool ReadWhole(HANDLE file, std::vector<char>* bytes) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > qvformat::kMaxFileSize)
        return false;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    bytes->resize(ReadBytes(file, bytes->data(), static_cast<DWORD>(bytes->size())));
    return true;
}

// A cursor over the file's bytes: every read stops at the end.
struct Reader {
    const std::vector<char>& bytes;
    size_t at = 0;

    size_t Left() const { return bytes.size() - at; }
    bool Take(void* out, size_t size) {
        if (Left() < size) return false;
        std::memcpy(out, bytes.data() + at, size);
        at += size;
        return true;
    }
};

// Reads up to `count` records until the file ends; keeps only those whose
// path is complete and not empty. Room is made once, for what the bytes
// left can hold: a huge count asks for nothing more.
void ReadRecords(Reader* in, int count, std::vector<UninstallEntry>* out) {
    if (count <= 0) return;
    size_t fits = in->Left() / sizeof(UninstallEntry);
    out->reserve(out->size() + (fits < static_cast<size_t>(count) ? fits : count));
    for (int i = 0; i < count; ++i) {
        UninstallEntry entry{};
        if (!in->Take(&entry, sizeof(entry))) return;
        if (FieldText(entry.path)[0] != L'\0') out->push_back(entry);
    }
}

void Parse(const std::vector<char>& bytes, UninstallHeader* header,
           std::vector<UninstallEntry>* entries, std::vector<UninstallEntry>* shortcuts) {
    Reader in{bytes};
    // A header cut short may hold a cut name: all of it or none.
    if (!in.Take(header, sizeof(*header))) std::memset(header, 0, sizeof(*header));
    int count = 0;
    if (header->installDir[0] == L'\0' && in.Take(&count, sizeof(count)))
        ReadRecords(&in, count, entries);
    if (in.Take(&count, sizeof(count))) ReadRecords(&in, count, shortcuts);
}

bool WriteBytes(HANDLE file, const void* data, DWORD size) {
    DWORD written = 0;
    return ::WriteFile(file, data, size, &written, nullptr) && written == size;
}

bool WriteRecords(HANDLE file, const UninstallEntry* records, int count) {
    if (count < 0 || (count > 0 && !records)) return false;
    if (!WriteBytes(file, &count, sizeof(count))) return false;
    for (int i = 0; i < count; ++i)
        if (!WriteBytes(file, &records[i], sizeof(records[i]))) return false;
    return true;
}

}  // namespace

bool ReadUninstallHeader(const wchar_t* path, UninstallHeader* header) {
    if (!header) return false;
    std::memset(header, 0, sizeof(*header));
    qv::ScopedFile file = OpenForReading(path);
    if (file && ReadBytes(file.get(), header, sizeof(*header)) == sizeof(*header)) return true;
    std::memset(header, 0, sizeof(*header));
    return false;
}

namespace {

void Clear(UninstallHeader* header, std::vector<UninstallEntry>* entries,
           std::vector<UninstallEntry>* shortcuts) {
    std::memset(header, 0, sizeof(*header));
    if (entries) entries->clear();
    if (shortcuts) shortcuts->clear();
}

}  // namespace

bool ReadUninstallHandle(HANDLE file, UninstallHeader* header,
                         std::vector<UninstallEntry>* entries,
                         std::vector<UninstallEntry>* shortcuts) {
    if (!header || !entries != !shortcuts) return false;
    Clear(header, entries, shortcuts);
    if (!file || file == INVALID_HANDLE_VALUE) return false;
    if (!entries) {  // the header alone, from a file of a size the reader takes
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file, &size) ||
            static_cast<unsigned long long>(size.QuadPart) > qvformat::kMaxFileSize)
            return false;
        if (ReadBytes(file, header, sizeof(*header)) != sizeof(*header))
            std::memset(header, 0, sizeof(*header));  // a cut header may hold a cut name
        return true;
    }
    std::vector<char> bytes;
    if (!ReadWhole(file, &bytes)) return false;
    Parse(bytes, header, entries, shortcuts);
    return true;
}

bool ReadUninstallFile(const wchar_t* path, UninstallHeader* header,
                       std::vector<UninstallEntry>* entries,
                       std::vector<UninstallEntry>* shortcuts) {
    if (!entries || !shortcuts) return false;
    return ReadUninstallHandle(OpenForReading(path).get(), header, entries, shortcuts);
}

UninstallSource LoadUninstallData(const wchar_t* folder, UninstallHeader* header,
                                  std::vector<UninstallEntry>* entries,
                                  std::vector<UninstallEntry>* shortcuts, std::wstring* why) {
    if (!header || !entries != !shortcuts) return UninstallSource::Missing;
    Clear(header, entries, shortcuts);
    qv::ScopedFile file;
    switch (qv::trust::OpenTrusted(folder, kUninstallDataFile, &file, why)) {
    case qv::trust::Verdict::Missing:
        return UninstallSource::Missing;
    case qv::trust::Verdict::Untrusted:
        return UninstallSource::Untrusted;
    case qv::trust::Verdict::Trusted:
        break;
    }
    if (ReadUninstallHandle(file.get(), header, entries, shortcuts)) return UninstallSource::Read;
    if (why)
        *why = L"the data file is larger than " + std::to_wstring(qvformat::kMaxFileSize) +
               L" bytes or cannot be read";
    return UninstallSource::Damaged;
}

bool WriteUninstallFile(const wchar_t* path, const UninstallHeader& header,
                        const UninstallEntry* entries, int entryCount,
                        const UninstallEntry* shortcuts, int shortcutCount) {
    if (!path) return false;
    // Entries would be ignored by the reader in own-folder mode: refuse them
    // rather than write a file that says something it cannot mean.
    if (header.installDir[0] != L'\0' && entryCount > 0) return false;
    qv::ScopedFile file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bool ok = WriteBytes(file.get(), &header, sizeof(header));
    // With an installation folder the reader expects no entry block: the
    // next integer is already the shortcut count.
    if (ok && header.installDir[0] == L'\0') ok = WriteRecords(file.get(), entries, entryCount);
    if (ok) ok = WriteRecords(file.get(), shortcuts, shortcutCount);
    if (!ok) {
        file.reset();
        ::DeleteFileW(path);  // a half-written file would be read as a different installation
    }
    return ok;
}
