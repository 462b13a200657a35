// Which targets the uninstall engine refuses to delete.
#include <shlobj.h>

#include <cwctype>
#include <string>
#include <vector>

#include "app/UninstallSafety.h"
#include "base/QvScoped.h"

namespace qv {

namespace {

bool IsSep(wchar_t c) { return c == L'\\' || c == L'/'; }

bool SameText(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Backslashes only, runs of separators folded (except the two that open a
// share path), trailing separators dropped.
std::wstring Tidy(const std::wstring& path) {
    std::wstring out;
    for (size_t i = 0; i < path.size(); ++i) {
        wchar_t c = IsSep(path[i]) ? L'\\' : path[i];
        if (c == L'\\' && i > 1 && !out.empty() && out.back() == L'\\') continue;
        out += c;
    }
    while (out.size() > 2 && out.back() == L'\\') out.pop_back();
    return out;
}

// "\\?\C:\x" -> "C:\x", "\\?\UNC\srv\share" -> "\\srv\share".
std::wstring WithoutDevicePrefix(std::wstring path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

bool IsRootLike(const std::wstring& tidy) {
    if (tidy.size() == 2 && tidy[1] == L':') return true;
    if (tidy.size() == 3 && tidy[1] == L':' && tidy[2] == L'\\') return true;
    if (tidy.rfind(L"\\\\", 0) == 0) {  // \\server or \\server\share
        size_t seps = 0;
        for (size_t i = 2; i < tidy.size(); ++i) seps += tidy[i] == L'\\';
        return seps < 2;
    }
    return false;
}

// The names under which a path may be known: as given (made full), with its
// short components spelled out, and with every link on the way resolved.
std::vector<std::wstring> KnownForms(const std::wstring& path) {
    std::vector<std::wstring> forms;
    wchar_t buf[MAX_PATH * 2];
    DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, buf, nullptr);
    if (n == 0 || n >= MAX_PATH * 2) return forms;
    std::wstring full = buf;
    forms.push_back(Tidy(full));
    n = ::GetLongPathNameW(full.c_str(), buf, MAX_PATH * 2);
    if (n > 0 && n < MAX_PATH * 2) forms.push_back(Tidy(buf));
    ScopedFile handle(::CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle) {
        n = ::GetFinalPathNameByHandleW(handle.get(), buf, MAX_PATH * 2, FILE_NAME_NORMALIZED);
        if (n > 0 && n < MAX_PATH * 2) forms.push_back(Tidy(WithoutDevicePrefix(buf)));
    }
    return forms;
}

void AddFolder(std::vector<std::wstring>& out, const wchar_t* path) {
    if (!path || !path[0]) return;
    for (std::wstring& form : KnownForms(path)) out.push_back(std::move(form));
}

std::vector<std::wstring> CollectProtectedFolders() {
    std::vector<std::wstring> out;
    const int csidls[] = {
        CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES,
        CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
        CSIDL_COMMON_APPDATA, CSIDL_PROFILE, CSIDL_DESKTOPDIRECTORY,
        CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS, CSIDL_STARTMENU,
        CSIDL_COMMON_STARTMENU, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, CSIDL_APPDATA,
        CSIDL_LOCAL_APPDATA,
    };
    wchar_t buf[MAX_PATH];
    for (int csidl : csidls) {
        buf[0] = L'\0';
        if (SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf)))
            AddFolder(out, buf);
    }
    for (REFKNOWNFOLDERID id : {FOLDERID_UserProfiles, FOLDERID_Public}) {
        wchar_t* known = nullptr;
        if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &known))) AddFolder(out, known);
        ::CoTaskMemFree(known);
    }
    // A 32-bit process does not get the 64-bit Program Files from the shell.
    for (const wchar_t* name : {L"ProgramW6432", L"CommonProgramW6432", L"ProgramFiles",
                                L"ProgramData", L"SystemRoot", L"USERPROFILE", L"PUBLIC"}) {
        DWORD n = ::GetEnvironmentVariableW(name, buf, MAX_PATH);
        if (n > 0 && n < MAX_PATH) AddFolder(out, buf);
    }
    if (::GetWindowsDirectoryW(buf, MAX_PATH)) AddFolder(out, buf);
    if (::GetSystemDirectoryW(buf, MAX_PATH)) AddFolder(out, buf);
    if (::GetSystemWow64DirectoryW(buf, MAX_PATH)) AddFolder(out, buf);
    if (::GetTempPathW(MAX_PATH, buf)) AddFolder(out, buf);
    return out;
}

const std::vector<std::wstring>& ProtectedFolders() {
    static const std::vector<std::wstring> folders = CollectProtectedFolders();
    return folders;
}

// True when deleting target would delete folder: it is the folder or holds it.
bool Covers(const std::wstring& target, const std::wstring& folder) {
    if (folder.size() < target.size()) return false;
    if (folder.size() == target.size()) return SameText(target, folder);
    return folder[target.size()] == L'\\' && SameText(target, folder.substr(0, target.size()));
}

bool IsPlainAbsolute(const std::wstring& path) {
    // Device-namespace paths skip the normalisation the checks rely on.
    if (path.size() >= 4 && IsSep(path[0]) && IsSep(path[1]) &&
        (path[2] == L'?' || path[2] == L'.') && IsSep(path[3]))
        return false;
    bool drive = path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && IsSep(path[2]);
    bool share = path.size() >= 2 && IsSep(path[0]) && IsSep(path[1]);
    if (!drive && !share) return false;
    // Windows drops trailing dots and spaces from a name, so "b." or "b "
    // is "b"; and "." and ".." move about. Such a path says one folder and
    // means another.
    for (size_t i = 1; i < path.size(); ++i)
        if (IsSep(path[i]) && (path[i - 1] == L'.' || path[i - 1] == L' ')) return false;
    wchar_t last = path.back();
    return last != L'.' && last != L' ';
}

}  // namespace

bool IsDeletableTarget(const wchar_t* path) {
    if (!path || !path[0]) return false;
    std::wstring given = path;
    if (given.size() >= MAX_PATH || !IsPlainAbsolute(given)) return false;
    std::vector<std::wstring> forms = KnownForms(given);
    // Normalising must change nothing but separators: otherwise the path
    // held ".", "..", or trailing dots or spaces that Windows drops, and
    // names another folder than it seems to.
    if (forms.empty() || !SameText(forms.front(), Tidy(given))) return false;
    for (const std::wstring& form : forms) {
        if (IsRootLike(form)) return false;
        for (const std::wstring& folder : ProtectedFolders())
            if (Covers(form, folder)) return false;
    }
    return true;
}

}  // namespace qv
