#include "base/QvTrust.h"

#include <aclapi.h>

#include <atomic>
#include <string>

#include "base/QvTrustSeam.h"

namespace {

std::atomic<int> g_forcedElevation{-1};

// LocalFree for what GetNamedSecurityInfo hands out.
struct LocalOwner {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ~LocalOwner() {
        if (sd) ::LocalFree(sd);
    }
};

bool IsSid(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buf[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(buf);
    return ::CreateWellKnownSid(type, nullptr, buf, &size) && ::EqualSid(sid, buf);
}

// NT SERVICE\TrustedInstaller, which owns the system's own files.
bool IsTrustedInstaller(PSID sid) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID ti = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 6, 80, 956008885, 3418522649, 1831038044, 1853292631,
                                    2271478464, 0, 0, &ti))
        return false;
    bool same = ::EqualSid(sid, ti) != FALSE;
    ::FreeSid(ti);
    return same;
}

bool Trusted(PSID sid) {
    return sid && ::IsValidSid(sid) &&
           (IsSid(sid, WinBuiltinAdministratorsSid) || IsSid(sid, WinLocalSystemSid) ||
            IsTrustedInstaller(sid));
}

// Rights that let an account change what the program would load: write or
// append data, delete or replace it, or take the right to do so.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                     FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                     WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

}  // namespace

namespace qv::seam {
void SetElevated(int forced) {
    g_forcedElevation.store(forced);
}
}  // namespace qv::seam

namespace qv::trust {

bool IsElevated() {
    int forced = g_forcedElevation.load();
    if (forced >= 0) return forced != 0;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    bool elevated = ::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation),
                                          &size) &&
                    elevation.TokenIsElevated;
    ::CloseHandle(token);
    return elevated;
}

bool OnlyAdminsCanWrite(const wchar_t* path) {
    if (!path || !*path) return false;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    LocalOwner sd;
    if (::GetNamedSecurityInfoW(path, SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                nullptr, &dacl, nullptr, &sd.sd) != ERROR_SUCCESS)
        return false;
    // The owner may always rewrite the DACL; no DACL at all lets everyone in.
    if (!Trusted(owner) || !dacl) return false;
    ACL_SIZE_INFORMATION info{};
    if (!::GetAclInformation(dacl, &info, sizeof(info), AclSizeInformation)) return false;
    for (DWORD i = 0; i < info.AceCount; ++i) {
        void* raw = nullptr;
        if (!::GetAce(dacl, i, &raw)) return false;
        const auto* header = static_cast<ACE_HEADER*>(raw);
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // for children only
        if (header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == SYSTEM_AUDIT_ACE_TYPE)
            continue;  // denials only take rights away
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;  // a kind we do not read
        const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        PSID sid = const_cast<DWORD*>(&ace->SidStart);
        if ((ace->Mask & kWriteRights) && !Trusted(sid)) return false;
    }
    return true;
}

bool MayUse(const wchar_t* folder, const wchar_t* file) {
    if (!IsElevated()) return true;
    if (!folder || !file) return false;
    std::wstring dir = folder;
    // The folder's own descriptor: the path without its trailing backslash,
    // except for a drive's root ("C:\").
    if (dir.size() > 3 && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    if (!OnlyAdminsCanWrite(dir.c_str())) return false;
    std::wstring full = folder;
    if (!full.empty() && full.back() != L'\\' && full.back() != L'/') full += L'\\';
    full += file;
    // A missing file cannot be planted-upon; the caller will find it absent.
    if (::GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    return OnlyAdminsCanWrite(full.c_str());
}

}  // namespace qv::trust
