// Final paths of opened objects, and paths compared as the file system does.
#include "base/QvFinalPath.h"

#include "base/QvScoped.h"

namespace qv {

namespace {

bool IsSep(wchar_t c) { return c == L'\\' || c == L'/'; }

// "\\?\C:\x" -> "C:\x", "\\?\UNC\srv\share" -> "\\srv\share".
std::wstring WithoutDevicePrefix(std::wstring path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

}  // namespace

std::wstring TidyPath(const std::wstring& path) {
    std::wstring out;
    for (size_t i = 0; i < path.size(); ++i) {
        wchar_t c = IsSep(path[i]) ? L'\\' : path[i];
        if (c == L'\\' && i > 1 && !out.empty() && out.back() == L'\\') continue;
        out += c;
    }
    while (out.size() > 2 && out.back() == L'\\') out.pop_back();
    return out;
}

std::wstring FinalPath(HANDLE handle) {
    wchar_t buf[MAX_PATH * 2];
    DWORD n = ::GetFinalPathNameByHandleW(handle, buf, MAX_PATH * 2,
                                          FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= MAX_PATH * 2) return std::wstring();
    std::wstring path = WithoutDevicePrefix(buf);
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring FinalFolderPath(const wchar_t* path) {
    ScopedFile handle(::CreateFileW(path, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle ? FinalPath(handle.get()) : std::wstring();
}

std::wstring LongForm(const std::wstring& path) {
    wchar_t full[MAX_PATH * 2], longer[MAX_PATH * 2];
    DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    if (n == 0 || n >= MAX_PATH * 2) return std::wstring();
    n = ::GetLongPathNameW(full, longer, MAX_PATH * 2);
    return TidyPath(n > 0 && n < MAX_PATH * 2 ? longer : full);
}

bool SamePathText(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool OpensAsNamed(HANDLE handle, const wchar_t* path) {
    if (!handle || handle == INVALID_HANDLE_VALUE || !path || !path[0]) return false;
    std::wstring opened = FinalPath(handle);
    std::wstring named = LongForm(path);
    return !opened.empty() && !named.empty() && SamePathText(opened, named);
}

bool IsPlainFileAt(HANDLE handle, const wchar_t* path) {
    BY_HANDLE_FILE_INFORMATION info{};
    return handle && handle != INVALID_HANDLE_VALUE &&
           ::GetFileInformationByHandle(handle, &info) &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
           info.nNumberOfLinks == 1 && OpensAsNamed(handle, path);
}

}  // namespace qv
