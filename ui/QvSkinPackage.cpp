// The skin package file: records of a 64-byte header (UTF-16 name of at
// most 29 characters, data size) followed by a source file's bytes, one
// after the other, with nothing else in the file.
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "base/QvScoped.h"
#include "base/QvShellScoped.h"
#include "ui/QvSkin.h"

namespace qv {

std::wstring SkinRecordName(const wchar_t* path) {
    if (!path) return L"";
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    if (!slash) return L"";
    const wchar_t* start = slash + 1;
    const wchar_t* dot = std::wcschr(start, L'.');
    if (!dot) return L"";
    std::wstring name(start, dot);
    if (name.size() > static_cast<size_t>(kQvSkinNameMax)) name.resize(kQvSkinNameMax);
    return name;
}

}  // namespace qv

namespace {

bool WriteAll(HANDLE file, const void* data, DWORD size) {
    DWORD written = 0;
    return ::WriteFile(file, data, size, &written, nullptr) && written == size;
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return n && n < MAX_PATH ? std::wstring(full) : path;
}

}  // namespace

std::wstring CQvSkin::PackagePath() const {
    // The skin path names a folder (it ends in a backslash); the package
    // is the file of that name, e.g. <program>Skins\blue.
    std::wstring path = skinPath_;
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

void CQvSkin::WriteSkin(HANDLE package, const wchar_t* source) {
    qv::ScopedFile file(::CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD high = 0;
    DWORD size = ::GetFileSize(file.get(), &high);
    if (size == INVALID_FILE_SIZE || high != 0) return;  // larger than a record can describe
    std::vector<BYTE> data(size);
    DWORD got = 0;
    if (size && (!::ReadFile(file.get(), data.data(), size, &got, nullptr) || got != size))
        return;  // a short record would corrupt every record after it
    tagSkinEntry header{};
    qv::SkinRecordName(source).copy(header.name, kQvSkinNameMax);
    header.size = size;
    if (WriteAll(package, &header, sizeof header) && size) WriteAll(package, data.data(), size);
}

bool CQvSkin::MakeSkin(const wchar_t* folder, const wchar_t* packagePath) {
    if (!folder || !packagePath) return false;
    qv::ScopedFile package(::CreateFileW(packagePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!package) return false;
    std::wstring dir = folder;
    if (!dir.empty() && dir.back() != L'\\') dir += L'\\';
    WIN32_FIND_DATAW entry{};
    qv::ScopedFind find(::FindFirstFileW((dir + L"*.*").c_str(), &entry));
    if (!find) return false;
    // A package built inside its own source folder must not pack itself.
    const std::wstring self = FullPath(packagePath);
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::wstring source = dir + entry.cFileName;
        if (::lstrcmpiW(FullPath(source).c_str(), self.c_str()) == 0) continue;
        WriteSkin(package.get(), source.c_str());
    } while (::FindNextFileW(find.get(), &entry));
    return true;
}

bool CQvSkin::LoadSkin(const wchar_t* name) {
    if (package_) FreeSkin();
    if (name) SetSkinName(name);
    qv::ScopedFile file(::CreateFileW(PackagePath().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD high = 0;
    DWORD size = ::GetFileSize(file.get(), &high);
    if (size == INVALID_FILE_SIZE || high != 0 || size > 0x7fffffff) return false;
    // One spare byte: a zero-byte movable block is allocated discarded.
    qv::ScopedGlobal mem(::GlobalAlloc(GMEM_MOVEABLE, size + 1));
    if (!mem) return false;
    {
        qv::ScopedGlobalLock bytes(mem.get());
        if (!bytes.get()) return false;
        DWORD got = 0;
        if (size != 0 && !(::ReadFile(file.get(), bytes.get(), size, &got, nullptr) && got == size))
            return false;
    }
    package_ = std::move(mem);
    packageSize_ = static_cast<int>(size);
    return true;
}
