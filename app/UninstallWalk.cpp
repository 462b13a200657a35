// Folder walk and folder-link handling for the uninstall engine.
#include <cwchar>
#include <string>

#include "app/UninstallSafety.h"
#include "base/QvScoped.h"

namespace qv {

namespace {

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// The path without its trailing backslashes: attribute queries and removal
// of a link address the link itself.
std::wstring WithoutTrailingSlash(const wchar_t* path) {
    std::wstring p = path;
    while (p.size() > 3 && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
    return p;
}

}  // namespace

bool JoinPath(wchar_t* out, std::initializer_list<std::wstring_view> parts) {
    size_t len = 0;
    for (std::wstring_view part : parts) len += part.size();
    out[0] = L'\0';
    if (len >= MAX_PATH) return false;
    wchar_t* p = out;
    for (std::wstring_view part : parts) p = std::wmemcpy(p, part.data(), part.size()) + part.size();
    *p = L'\0';
    return true;
}

bool WalkFolder(const wchar_t* folder, const FolderVisitor& visit) {
    wchar_t pattern[MAX_PATH];
    if (!JoinPath(pattern, {folder, L"*.*"})) return false;
    WIN32_FIND_DATAW data;
    ScopedFind find(::FindFirstFileW(pattern, &data));
    if (!find) return false;
    do {
        if (IsDotOrDotDot(data.cFileName)) continue;
        bool isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        bool isLink = isDir && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        ItemKind kind = isLink ? ItemKind::Link : isDir ? ItemKind::Folder : ItemKind::File;
        wchar_t path[MAX_PATH];
        if (!JoinPath(path, {folder, data.cFileName, kind == ItemKind::Folder ? L"\\" : L""}))
            continue;
        visit(path, kind, data.cFileName[0] == L'.');
    } while (::FindNextFileW(find.get(), &data));
    return true;
}

bool IsDirectoryLink(const wchar_t* path) {
    DWORD attrs = ::GetFileAttributesW(WithoutTrailingSlash(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) &&
           (attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool RemoveDirectoryLink(const wchar_t* path) {
    std::wstring link = WithoutTrailingSlash(path);
    // RemoveDirectoryW removes a junction or a folder symbolic link, not
    // what it points to; DeleteFileW is the way for links that some file
    // systems present as files.
    if (!::RemoveDirectoryW(link.c_str())) ::DeleteFileW(link.c_str());
    return ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool RemoveLinksBelow(const wchar_t* folder) {
    bool clean = true;
    WalkFolder(folder, [&](const wchar_t* path, ItemKind kind, bool) {
        if (kind == ItemKind::Link)
            clean = RemoveDirectoryLink(path) && clean;
        else if (kind == ItemKind::Folder)
            clean = RemoveLinksBelow(path) && clean;
    });
    return clean;
}

}  // namespace qv
