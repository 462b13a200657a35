// Files and folders.
#include "base/QvUtil.h"

#include <string>

#include "base/QvScoped.h"

int CreateFolder(const wchar_t* path) {
    return path && ::CreateDirectoryW(path, nullptr) ? 1 : 0;
}

int isDir(const wchar_t* path) {
    if (!path) return 0;
    DWORD attr = ::GetFileAttributesW(path);
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

int CreateDirTree(const wchar_t* path) {
    if (!path || ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return 1;
    std::wstring full = path;
    size_t last = full.rfind(L'\\');
    if (last == std::wstring::npos) return 1;
    std::wstring parent = full.substr(0, last);
    // Leading backslashes belong to the root (\\server\share, \\?\): the
    // chain is built under them, never from the current folder.
    size_t start = parent.find_first_not_of(L'\\');
    if (start == std::wstring::npos) return 1;
    std::wstring chain = parent.substr(0, start);
    bool first = true;
    while (start < parent.size()) {
        size_t end = parent.find(L'\\', start);
        if (end == std::wstring::npos) end = parent.size();
        if (end > start) {  // empty parts (doubled backslashes) are skipped
            if (!first) chain += L'\\';
            chain.append(parent, start, end - start);
            first = false;
            if (::GetFileAttributesW(chain.c_str()) == INVALID_FILE_ATTRIBUTES) {
                ::CreateDirectoryW(chain.c_str(), nullptr);
            }
        }
        start = end + 1;
    }
    return 1;
}

__int64 FileSize(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!path || !::GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
    return static_cast<__int64>((static_cast<unsigned __int64>(data.nFileSizeHigh) << 32) |
                                data.nFileSizeLow);
}

namespace {

void ToLocal(const FILETIME& utc, SYSTEMTIME* out) {
    if (!out) return;
    FILETIME local{};
    ::FileTimeToLocalFileTime(&utc, &local);
    ::FileTimeToSystemTime(&local, out);
}

}  // namespace

int FileTime(const wchar_t* path, SYSTEMTIME* created, SYSTEMTIME* written,
             SYSTEMTIME* accessed) {
    if (!path) return 0;
    // Backup semantics let a folder be opened too.
    qv::ScopedFile file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                      nullptr));
    if (!file) return 0;
    FILETIME c{}, a{}, w{};
    if (!::GetFileTime(file.get(), &c, &a, &w)) return 0;
    ToLocal(c, created);
    ToLocal(w, written);
    ToLocal(a, accessed);
    return 1;
}

int QvWriteFile(const wchar_t* path, void* data, DWORD size) {
    if (!path || (!data && size)) return 0;
    qv::ScopedFile file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    const BYTE* p = static_cast<const BYTE*>(data);
    while (size) {
        DWORD done = 0;
        // A short write (disk full) is a failure, not a success.
        if (!::WriteFile(file.get(), p, size, &done, nullptr) || done == 0) return 0;
        p += done;
        size -= done;
    }
    return 1;
}

int QvReadFile(const wchar_t* path, void* data, DWORD& size) {
    DWORD wanted = size;
    size = 0;
    if (!path || (!data && wanted)) return 0;
    qv::ScopedFile file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    BYTE* p = static_cast<BYTE*>(data);
    while (size < wanted) {
        DWORD done = 0;
        if (!::ReadFile(file.get(), p + size, wanted - size, &done, nullptr)) return 0;
        if (done == 0) break;  // end of file
        size += done;
    }
    return 1;
}
