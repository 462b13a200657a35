// Which targets the uninstall engine refuses to delete.
#include <shlobj.h>

#include <atomic>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "app/ShellPlaces.h"
#include "app/UninstallRules.h"
#include "app/UninstallSafety.h"
#include "base/QvFinalPath.h"
#include "base/QvScoped.h"

namespace qv {

namespace {


bool SameText(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
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
    forms.push_back(TidyPath(full));
    n = ::GetLongPathNameW(full.c_str(), buf, MAX_PATH * 2);
    if (n > 0 && n < MAX_PATH * 2) forms.push_back(TidyPath(buf));
    ScopedFile handle(::CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle) {
        std::wstring final = FinalPath(handle.get());
        if (!final.empty()) forms.push_back(TidyPath(final));
    }
    return forms;
}

// The folders no target may be, or hold; the folders nothing inside may be
// deleted; the folders that hold every user's profile, where only the
// current user's own and the all-users one are open; and folders inside an
// "inside" one that are open all the same (the all-users Start menu, whose
// shortcuts products own).
struct ProtectedFolders {
    std::vector<std::wstring> whole, inside, profiles, open, ownProfiles, allowedInside;
};

// Folders at the root of any drive that hold what is not a product's: the
// recycle bins, restore points, a previous Windows, recovery and boot files.
constexpr const wchar_t* kRootSystemNames[] = {
    L"$Recycle.Bin", L"RECYCLER", L"RECYCLED", L"System Volume Information", L"Windows.old",
    L"$Windows.~BT", L"$Windows.~WS", L"$WinREAgent", L"Recovery", L"Boot", L"EFI",
    L"Config.Msi", L"bootmgr", L"BOOTNXT", L"pagefile.sys", L"hiberfil.sys", L"swapfile.sys"};

void AddForms(std::vector<std::wstring>& out, const wchar_t* path) {
    if (!path || !path[0]) return;
    for (std::wstring& form : KnownForms(path)) out.push_back(std::move(form));
}

void AddKnownFolder(std::vector<std::wstring>& out, REFKNOWNFOLDERID id) {
    wchar_t* known = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &known))) AddForms(out, known);
    ::CoTaskMemFree(known);
}

// Every profile this machine knows, not only the current user's, and the
// folders that hold them. Nothing inside another user's profile belongs to
// this product.
void AddProfiles(std::vector<std::wstring>& out, std::vector<std::wstring>& parents,
                 std::vector<std::wstring>& others) {
    const std::wstring& own = StandardPlaces().profile;
    ScopedKey list;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                        L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                        KEY_READ, list.put()) != ERROR_SUCCESS)
        return;
    wchar_t sid[256];
    for (DWORD i = 0;; ++i) {
        DWORD sidLen = 256;
        if (::RegEnumKeyExW(list.get(), i, sid, &sidLen, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        wchar_t raw[MAX_PATH] = {}, path[MAX_PATH] = {};
        DWORD size = sizeof(raw) - sizeof(wchar_t);
        if (::RegGetValueW(list.get(), sid, L"ProfileImagePath", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                           RRF_NOEXPAND, nullptr, raw, &size) != ERROR_SUCCESS)
            continue;
        DWORD n = ::ExpandEnvironmentStringsW(raw, path, MAX_PATH);
        if (n == 0 || n > MAX_PATH) continue;
        bool mine = !own.empty() && SameText(LongForm(path), own);
        for (std::wstring& form : KnownForms(path)) {
            size_t slash = form.rfind(L'\\');
            if (slash != std::wstring::npos && slash > 2) parents.push_back(form.substr(0, slash));
            if (!mine) others.push_back(form);
            out.push_back(std::move(form));
        }
    }
}

ProtectedFolders CollectProtectedFolders() {
    ProtectedFolders out;
    const int csidls[] = {
        CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES,
        CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
        CSIDL_COMMON_APPDATA, CSIDL_PROFILE, CSIDL_DESKTOPDIRECTORY,
        CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS, CSIDL_STARTMENU,
        CSIDL_COMMON_STARTMENU, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, CSIDL_APPDATA,
        CSIDL_LOCAL_APPDATA, CSIDL_MYMUSIC, CSIDL_MYPICTURES, CSIDL_MYVIDEO, CSIDL_FAVORITES,
        CSIDL_COMMON_MUSIC, CSIDL_COMMON_PICTURES, CSIDL_COMMON_VIDEO, CSIDL_STARTUP,
        CSIDL_COMMON_STARTUP, CSIDL_FONTS,
    };
    wchar_t buf[MAX_PATH];
    for (int csidl : csidls) {
        buf[0] = L'\0';
        if (SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf)))
            AddForms(out.whole, buf);
    }
    for (REFKNOWNFOLDERID id :
         {FOLDERID_UserProfiles, FOLDERID_Public, FOLDERID_Downloads, FOLDERID_PublicDownloads,
          FOLDERID_LocalAppDataLow, FOLDERID_Favorites, FOLDERID_SavedGames, FOLDERID_Music,
          FOLDERID_Pictures, FOLDERID_Videos, FOLDERID_Links, FOLDERID_Contacts,
          FOLDERID_Profile})
        AddKnownFolder(out.whole, id);
    AddProfiles(out.whole, out.profiles, out.inside);
    const ShellPlaces& places = StandardPlaces();
    AddForms(out.inside, places.defaultProfile.c_str());
    AddForms(out.ownProfiles, places.profile.c_str());
    AddForms(out.ownProfiles, places.publicProfile.c_str());
    // Windows' own data for all users; only the all-users Start menu in it
    // holds what products put there.
    std::vector<std::wstring> programData;
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf)))
        programData.push_back(buf);
    if (!places.programData.empty()) programData.push_back(places.programData);
    for (const std::wstring& folder : programData) {
        AddForms(out.inside, (folder + L"\\Microsoft").c_str());
        AddForms(out.allowedInside, (folder + L"\\Microsoft\\Windows\\Start Menu").c_str());
    }
    // A 32-bit process does not get the 64-bit Program Files from the shell.
    for (const wchar_t* name : {L"ProgramW6432", L"CommonProgramW6432", L"ProgramFiles",
                                L"ProgramData", L"USERPROFILE", L"PUBLIC", L"ALLUSERSPROFILE"}) {
        DWORD n = ::GetEnvironmentVariableW(name, buf, MAX_PATH);
        if (n > 0 && n < MAX_PATH) AddForms(out.whole, buf);
    }
    if (::GetTempPathW(MAX_PATH, buf)) AddForms(out.whole, buf);
    // Nothing of Windows' own is the product's: not a font, not a driver,
    // not a single file of the system folders.
    DWORD n = ::GetEnvironmentVariableW(L"SystemRoot", buf, MAX_PATH);
    if (n > 0 && n < MAX_PATH) AddForms(out.inside, buf);
    if (::GetWindowsDirectoryW(buf, MAX_PATH)) AddForms(out.inside, buf);
    if (::GetSystemWindowsDirectoryW(buf, MAX_PATH)) AddForms(out.inside, buf);
    if (::GetSystemDirectoryW(buf, MAX_PATH)) AddForms(out.inside, buf);
    if (::GetSystemWow64DirectoryW(buf, MAX_PATH)) AddForms(out.inside, buf);
    AddKnownFolder(out.profiles, FOLDERID_UserProfiles);
    AddForms(out.profiles, places.profiles.c_str());
    return out;
}

// Built once and never destroyed: a worker may still be checking paths
// while the process exits and runs static destructors.
const ProtectedFolders& Protected() {
    static const ProtectedFolders* folders = new ProtectedFolders(CollectProtectedFolders());
    return *folders;
}

// True when deleting target would delete folder: it is the folder or holds it.
bool Covers(const std::wstring& target, const std::wstring& folder) {
    if (folder.size() < target.size()) return false;
    if (folder.size() == target.size()) return SameText(target, folder);
    return folder[target.size()] == L'\\' && SameText(target, folder.substr(0, target.size()));
}

std::wstring ParentOf(const std::wstring& tidy) {
    size_t slash = tidy.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : tidy.substr(0, slash);
}

// What GetDriveType said of each drive letter, plus one; 0 not yet asked.
std::atomic<int> g_driveTypes[26] = {};

// A network path, or a drive letter that leads to one: the product is
// installed locally, and a share may be someone else's whole disk.
bool IsRemote(const std::wstring& tidy) {
    if (tidy.size() >= 2 && tidy[0] == L'\\' && tidy[1] == L'\\') return true;
    if (tidy.size() < 2 || tidy[1] != L':') return true;
    wchar_t letter = static_cast<wchar_t>(std::towupper(tidy[0]));
    if (letter < L'A' || letter > L'Z') return true;
    // Asking is slow (a round trip to the mount manager), and a long list
    // asks for every record: each drive is asked once.
    int type = g_driveTypes[letter - L'A'];
    if (type == 0) {
        wchar_t root[] = {letter, L':', L'\\', L'\0'};
        type = static_cast<int>(::GetDriveTypeW(root)) + 1;
        g_driveTypes[letter - L'A'] = type;
    }
    return type - 1 == DRIVE_REMOTE;
}

bool IsPlainAbsolute(const std::wstring& path) {
    return rules::IsPlainAbsolute(std::wstring_view(path));
}

// "X:\\$Recycle.Bin\\..." and the like, on any drive.
bool IsInRootSystemFolder(const std::wstring& form) {
    if (form.size() < 4 || form[1] != L':' || form[2] != L'\\') return false;
    size_t end = form.find(L'\\', 3);
    std::wstring first = form.substr(3, end == std::wstring::npos ? end : end - 3);
    for (const wchar_t* name : kRootSystemNames)
        if (SameText(first, name)) return true;
    return false;
}

bool IsProtectedForm(const std::wstring& form) {
    if (IsRootLike(form) || IsRemote(form)) return true;
    const ProtectedFolders& folders = Protected();
    for (const std::wstring& folder : folders.whole)
        if (Covers(form, folder)) return true;
    bool allowed = false;
    for (const std::wstring& folder : folders.allowedInside)
        allowed = allowed || (Covers(folder, form) && !SameText(folder, form));
    for (const std::wstring& folder : folders.inside)
        if (Covers(folder, form) && !allowed) return true;
    if (IsInRootSystemFolder(form)) return true;
    std::wstring parent = ParentOf(form);
    for (const std::wstring& folder : folders.profiles) {
        if (Covers(form, folder) || SameText(parent, folder)) return true;
        // Inside a profile folder: only the current user's own and the
        // all-users one.
        if (!Covers(folder, form)) continue;
        size_t end = form.find(L'\\', folder.size() + 1);
        std::wstring profile = form.substr(0, end);
        bool open = false;
        for (const std::wstring& own : folders.ownProfiles) open = open || SameText(profile, own);
        if (!open) return true;
    }
    return false;
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

bool IsDeletableTarget(const wchar_t* path) {
    if (!path || !path[0]) return false;
    std::wstring given = path;
    if (given.size() >= MAX_PATH || !IsPlainAbsolute(given)) return false;
    std::vector<std::wstring> forms = KnownForms(given);
    // Normalising must change nothing but separators: otherwise the path
    // held ".", "..", or trailing dots or spaces that Windows drops, and
    // names another folder than it seems to.
    if (forms.empty() || !SameText(forms.front(), TidyPath(given))) return false;
    for (const std::wstring& form : forms)
        if (IsProtectedForm(form)) return false;
    return true;
}

bool IsDeletableHandle(HANDLE handle) {
    std::wstring path = FinalPath(handle);
    return !path.empty() && path.size() < MAX_PATH && IsDeletableTarget(path.c_str());
}

namespace seam {
void SetDriveType(wchar_t letter, UINT type) {
    letter = static_cast<wchar_t>(std::towupper(letter));
    if (letter >= L'A' && letter <= L'Z')
        g_driveTypes[letter - L'A'] = type == 0 ? 0 : static_cast<int>(type) + 1;
}
}  // namespace seam

}  // namespace qv
