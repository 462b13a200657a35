#include "base/QvTrust.h"

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <vector>

#include "base/QvFinalPath.h"
#include "base/QvTrustSeam.h"

namespace {

std::atomic<int> g_forcedElevation{-1};

struct LocalOwner {  // LocalFree for what the security functions hand out
    void* p = nullptr;
    ~LocalOwner() {
        if (p) ::LocalFree(p);
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

// The account the process runs as, read once (a process keeps its user);
// empty when it cannot be read.
const std::vector<BYTE>& OwnUser() {
    static const std::vector<BYTE> user = [] {
        std::vector<BYTE> buf;
        qv::ScopedHandle token;
        DWORD size = 0;
        if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
            !::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size) && size > 0) {
            buf.resize(size);
            if (!::GetTokenInformation(token.get(), TokenUser, buf.data(), size, &size))
                buf.clear();
        }
        return buf;
    }();
    return user;
}

// What the program's own account could change, it could change anyway.
bool IsOwnAccount(PSID sid) {
    const std::vector<BYTE>& user = OwnUser();
    return !user.empty() &&
           ::EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid) != FALSE;
}

bool Trusted(PSID sid) {
    return sid && ::IsValidSid(sid) &&
           (IsSid(sid, WinBuiltinAdministratorsSid) || IsSid(sid, WinLocalSystemSid) ||
            IsTrustedInstaller(sid) || IsOwnAccount(sid));
}

std::wstring SidText(PSID sid) {
    LocalOwner text;
    if (!sid || !::ConvertSidToStringSidW(sid, reinterpret_cast<wchar_t**>(&text.p)))
        return L"?";
    return static_cast<wchar_t*>(text.p);
}

void Say(std::wstring* why, const std::wstring& text) {
    if (why) *why = text;
}

// Rights that let an account change what the program would read or load:
// write or append data (in a folder: add files and folders), delete or
// replace it, or take the right to do so.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                     FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                     WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// Rights that let an account take away or swap what others put in a folder
// (or the folder itself); adding new entries is not among them.
constexpr ACCESS_MASK kRemoveRights =
    FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

// Held open without FILE_SHARE_DELETE: while the handle is held the object
// cannot be renamed or deleted, so what is checked stays where it was.
qv::ScopedFile OpenToCheck(const std::wstring& path, DWORD access, DWORD flags) {
    return qv::ScopedFile(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, flags, nullptr));
}

std::wstring ParentOf(const std::wstring& path) {
    size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos) return std::wstring();
    // "C:\x" -> "C:\"; a root has no parent.
    if (cut == 2 && path.size() > 3 && path[1] == L':') return path.substr(0, 3);
    return cut > 2 ? path.substr(0, cut) : std::wstring();
}

// The held folder at `path` passes, and so does its parent, which is where
// its final path says.
bool FolderPasses(const std::wstring& path, qv::ScopedFile* held, std::wstring* finalPath,
                  std::wstring* why) {
    *held = OpenToCheck(path, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS);
    if (!*held) {
        Say(why, L"the folder " + path + L" cannot be opened (error " +
                     std::to_wstring(::GetLastError()) + L")");
        return false;
    }
    *finalPath = qv::FinalPath(held->get());
    if (finalPath->empty()) {
        Say(why, L"the folder " + path + L" has no final path");
        return false;
    }
    std::wstring reason;
    if (!qv::trust::OnlyTrustedCanChange(held->get(), &reason)) {
        Say(why, L"the folder " + *finalPath + L": " + reason);
        return false;
    }
    std::wstring parent = ParentOf(*finalPath);
    if (parent.empty()) return true;  // a drive's root
    qv::ScopedFile above =
        OpenToCheck(parent, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS);
    if (!above || !qv::SamePathText(qv::FinalPath(above.get()), parent)) {
        Say(why, L"the folder " + parent + L" cannot be opened as named");
        return false;
    }
    if (!qv::trust::OnlyTrustedCanChange(above.get(), &reason)) {
        Say(why, L"the folder " + parent + L": " + reason);
        return false;
    }
    return true;
}

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
    qv::ScopedHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation),
                                 &size) &&
           elevation.TokenIsElevated;
}

namespace {

// No one but the trusted accounts holds any of `rights` under this owner
// and DACL.
bool NoOneElseHolds(PSID owner, PACL dacl, ACCESS_MASK rights, std::wstring* why) {
    // The owner may always rewrite the DACL; no DACL at all lets everyone in.
    if (!Trusted(owner)) {
        Say(why, L"its owner " + SidText(owner) + L" is not trusted");
        return false;
    }
    if (!dacl) {
        Say(why, L"it has no DACL: everyone may change it");
        return false;
    }
    ACL_SIZE_INFORMATION info{};
    if (!::GetAclInformation(dacl, &info, sizeof(info), AclSizeInformation)) {
        Say(why, L"its DACL cannot be read");
        return false;
    }
    for (DWORD i = 0; i < info.AceCount; ++i) {
        void* raw = nullptr;
        if (!::GetAce(dacl, i, &raw)) {
            Say(why, L"its DACL cannot be read");
            return false;
        }
        const auto* header = static_cast<ACE_HEADER*>(raw);
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // for children only
        if (header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == SYSTEM_AUDIT_ACE_TYPE)
            continue;  // denials only take rights away
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            Say(why, L"its DACL holds an entry of a kind not read here (" +
                         std::to_wstring(header->AceType) + L")");
            return false;
        }
        const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        PSID sid = const_cast<DWORD*>(&ace->SidStart);
        if ((ace->Mask & rights) && !Trusted(sid)) {
            Say(why, SidText(sid) + L" may change it");
            return false;
        }
    }
    return true;
}

bool HandleHolds(HANDLE object, ACCESS_MASK rights, std::wstring* why) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    LocalOwner sd;
    DWORD rc = ::GetSecurityInfo(object, SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                 nullptr, &dacl, nullptr, &sd.p);
    if (rc != ERROR_SUCCESS) {
        Say(why, L"its security cannot be read (error " + std::to_wstring(rc) + L")");
        return false;
    }
    return NoOneElseHolds(owner, dacl, rights, why);
}

bool DescriptorHolds(PSECURITY_DESCRIPTOR sd, ACCESS_MASK rights, std::wstring* why) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!sd || !::GetSecurityDescriptorOwner(sd, &owner, &defaulted) ||
        !::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted)) {
        Say(why, L"its security cannot be read");
        return false;
    }
    return NoOneElseHolds(owner, present ? dacl : nullptr, rights, why);
}

}  // namespace

bool OnlyTrustedCanChange(HANDLE object, std::wstring* why) {
    return HandleHolds(object, kWriteRights, why);
}

bool OnlyTrustedCanRemoveFrom(HANDLE folder, std::wstring* why) {
    return HandleHolds(folder, kRemoveRights, why);
}

bool DescriptorLetsOnlyTrustedChange(PSECURITY_DESCRIPTOR sd, bool removeOnly, std::wstring* why) {
    return DescriptorHolds(sd, removeOnly ? kRemoveRights : kWriteRights, why);
}

Verdict OpenTrusted(const wchar_t* folder, const wchar_t* name, qv::ScopedFile* file,
                    std::wstring* why) {
    if (file) file->reset();
    if (!folder || !folder[0] || !name || !name[0] || !file) {
        Say(why, L"no folder or file named");
        return Verdict::Untrusted;
    }
    std::wstring dir = qv::TidyPath(folder);
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    if (!IsElevated()) {
        std::wstring path = dir + L"\\" + name;
        file->reset(::CreateFileW(path.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (*file) return Verdict::Trusted;
        DWORD error = ::GetLastError();
        Say(why, L"the file " + path + L" cannot be opened (error " + std::to_wstring(error) +
                     L")");
        return error == ERROR_FILE_NOT_FOUND ? Verdict::Missing : Verdict::Untrusted;
    }
    qv::ScopedFile held;
    std::wstring heldPath;
    if (!FolderPasses(dir, &held, &heldPath, why)) return Verdict::Untrusted;
    // Inside the folder as it was opened, not as its name reads now.
    std::wstring path = heldPath + L"\\" + name;
    qv::ScopedFile opened(::CreateFileW(path.c_str(), GENERIC_READ | READ_CONTROL, kShare,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
    if (!opened) {
        DWORD error = ::GetLastError();
        Say(why, L"the file " + path + L" cannot be opened (error " + std::to_wstring(error) +
                     L")");
        return error == ERROR_FILE_NOT_FOUND ? Verdict::Missing : Verdict::Untrusted;
    }
    if (!qv::IsPlainFileAt(opened.get(), path.c_str())) {
        Say(why, L"the file " + path + L" is a link or has another name");
        return Verdict::Untrusted;
    }
    std::wstring reason;
    if (!OnlyTrustedCanChange(opened.get(), &reason)) {
        Say(why, L"the file " + path + L": " + reason);
        return Verdict::Untrusted;
    }
    *file = std::move(opened);
    return Verdict::Trusted;
}

bool FolderTrusted(const std::wstring& path, std::wstring* why) {
    qv::ScopedFile held;
    std::wstring finalPath;
    return FolderPasses(path, &held, &finalPath, why);
}

bool MayUse(const wchar_t* folder, const wchar_t* file) {
    qv::ScopedFile held;
    return OpenTrusted(folder, file, &held) != Verdict::Untrusted;
}

}  // namespace qv::trust
