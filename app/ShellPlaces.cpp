// The standard shell folders, from the machine's profile list.
#include "app/ShellPlaces.h"

#include <windows.h>
#include <sddl.h>

#include <cwchar>

#include "app/UninstallRules.h"
#include "app/UninstallSafety.h"
#include "base/QvScoped.h"

namespace qv {

namespace {

constexpr wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr wchar_t kRoaming[] = L"\\AppData\\Roaming\\Microsoft";
constexpr wchar_t kStartMenu[] = L"\\Microsoft\\Windows\\Start Menu";

// The current user's SID as text ("S-1-5-21-..."); empty when unknown.
std::wstring CurrentUserSid() {
    ScopedHandle token;
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::wstring();
    token.reset(raw);
    BYTE buffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size))
        return std::wstring();
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        return std::wstring();
    std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

// Replaces every occurrence of name (any case) in text by value.
void ReplaceAll(std::wstring& text, const wchar_t* name, const std::wstring& value) {
    int len = static_cast<int>(std::wcslen(name));
    for (size_t i = 0; i + len <= text.size();) {
        if (::CompareStringOrdinal(text.c_str() + i, len, name, len, TRUE) == CSTR_EQUAL) {
            text.replace(i, len, value);
            i += value.size();
        } else {
            ++i;
        }
    }
}

// Expands the two variables the profile list uses from the system itself:
// the process's environment comes from the user, who may have set them.
std::wstring ExpandSystemVariables(std::wstring text) {
    wchar_t windows[MAX_PATH] = {};
    UINT n = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (n < 3 || n >= MAX_PATH) return std::wstring();
    ReplaceAll(text, L"%SystemDrive%", std::wstring(windows, 2));
    ReplaceAll(text, L"%SystemRoot%", windows);
    // Any other variable would come from the user's environment.
    return text.find(L'%') == std::wstring::npos ? text : std::wstring();
}

std::wstring ReadPath(HKEY list, const wchar_t* subkey, const wchar_t* value) {
    wchar_t raw[MAX_PATH] = {};
    DWORD size = sizeof(raw) - sizeof(wchar_t);
    if (::RegGetValueW(list, subkey, value, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                       nullptr, raw, &size) != ERROR_SUCCESS)
        return std::wstring();
    std::wstring path = ExpandSystemVariables(raw);
    return path.empty() ? path : LongForm(path);
}

std::wstring Join(const std::wstring& base, const wchar_t* tail) {
    return base.empty() ? base : base + tail;
}

ShellPlaces ReadPlaces() {
    ShellPlaces out;
    ScopedKey list;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_READ, list.put()) !=
        ERROR_SUCCESS)
        return out;
    std::wstring sid = CurrentUserSid();
    if (!sid.empty()) out.profile = ReadPath(list.get(), sid.c_str(), L"ProfileImagePath");
    out.profiles = ReadPath(list.get(), nullptr, L"ProfilesDirectory");
    out.publicProfile = ReadPath(list.get(), nullptr, L"Public");
    out.defaultProfile = ReadPath(list.get(), nullptr, L"Default");
    out.programData = ReadPath(list.get(), nullptr, L"ProgramData");
    if (out.publicProfile.empty()) out.publicProfile = Join(out.profiles, L"\\Public");
    if (out.defaultProfile.empty()) out.defaultProfile = Join(out.profiles, L"\\Default");

    std::wstring userStart = Join(out.profile, (std::wstring(kRoaming) + L"\\Windows\\Start Menu").c_str());
    std::wstring commonStart = Join(out.programData, kStartMenu);
    for (const std::wstring& start : {userStart, commonStart}) {
        if (start.empty()) continue;
        out.programs.push_back(start + L"\\Programs");
        out.shortcutFolders.push_back(start);
        out.shortcutFolders.push_back(start + L"\\Programs");
    }
    for (const std::wstring& desktop :
         {Join(out.profile, L"\\Desktop"), Join(out.publicProfile, L"\\Desktop"),
          Join(out.profile, (std::wstring(kRoaming) + L"\\Internet Explorer\\Quick Launch").c_str())})
        if (!desktop.empty()) out.shortcutFolders.push_back(desktop);
    return out;
}


bool IsOneOf(const std::wstring& path, const std::vector<std::wstring>& folders) {
    for (const std::wstring& folder : folders)
        if (SamePathText(path, folder)) return true;
    return false;
}

std::wstring Parent(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

const ShellPlaces& StandardPlaces() {
    // Never destroyed: a worker may still ask while the process exits.
    static const ShellPlaces* places = new ShellPlaces(ReadPlaces());
    return *places;
}

bool IsStandardProgramsFolder(const std::wstring& finalPath) {
    return !finalPath.empty() && IsOneOf(finalPath, StandardPlaces().programs);
}

bool IsShortcutPlace(const std::wstring& finalPath) {
    bool link = false;
    if (!rules::HasShortcutExtension(std::wstring_view(finalPath), &link)) return false;
    const std::vector<std::wstring>& folders = StandardPlaces().shortcutFolders;
    std::wstring folder = Parent(finalPath);
    return IsOneOf(folder, folders) || (link && IsOneOf(Parent(folder), folders));
}

bool IsPlainComponent(const wchar_t* name) {
    return name && rules::IsPlainComponent(std::wstring_view(name));
}

}  // namespace qv
