#include "app/UninstallData.h"

#include <cstring>

#include "base/QvScoped.h"

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

bool ReadCount(HANDLE file, int* count) {
    *count = 0;
    return ReadBytes(file, count, sizeof(*count)) == sizeof(*count);
}

qv::ScopedFile OpenForReading(const wchar_t* path) {
    if (!path) return qv::ScopedFile();
    // The installer may still hold the file open for writing; share like "rb".
    return qv::ScopedFile(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadHeader(HANDLE file, UninstallHeader* header) {
    std::memset(header, 0, sizeof(*header));
    if (ReadBytes(file, header, sizeof(*header)) == sizeof(*header)) return true;
    std::memset(header, 0, sizeof(*header));
    return false;
}

// Reads up to `count` records until the file ends; keeps only those whose
// path is complete and not empty.
void ReadRecords(HANDLE file, int count, std::vector<UninstallEntry>* out) {
    // Room for what the file can hold, once: a huge count in a short file
    // asks for nothing, and a long list is never regrown (and copied).
    LARGE_INTEGER size{}, at{}, zero{};
    if (count > 0 && ::GetFileSizeEx(file, &size) &&
        ::SetFilePointerEx(file, zero, &at, FILE_CURRENT) && size.QuadPart > at.QuadPart) {
        long long fits = (size.QuadPart - at.QuadPart) / static_cast<long long>(sizeof(UninstallEntry));
        out->reserve(out->size() + static_cast<size_t>(fits < count ? fits : count));
    }
    for (int i = 0; i < count; ++i) {
        UninstallEntry entry{};
        if (ReadBytes(file, &entry, sizeof(entry)) != sizeof(entry)) return;
        if (FieldText(entry.path)[0] != L'\0') out->push_back(entry);
    }
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
    return file && ReadHeader(file.get(), header);
}

bool ReadUninstallFile(const wchar_t* path, UninstallHeader* header,
                       std::vector<UninstallEntry>* entries,
                       std::vector<UninstallEntry>* shortcuts) {
    if (!header || !entries || !shortcuts) return false;
    std::memset(header, 0, sizeof(*header));
    entries->clear();
    shortcuts->clear();
    qv::ScopedFile file = OpenForReading(path);
    if (!file) return false;

    ReadHeader(file.get(), header);
    int count = 0;
    if (header->installDir[0] == L'\0' && ReadCount(file.get(), &count))
        ReadRecords(file.get(), count, entries);
    if (ReadCount(file.get(), &count)) ReadRecords(file.get(), count, shortcuts);
    return true;
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
