// Operating system, hardware and locale facts.
#include "base/QvUtil.h"

#include <cpuid.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "base/QvScoped.h"

namespace {

OSVERSIONINFOEXW OsVersion() {
    OSVERSIONINFOEXW v{};
    v.dwOSVersionInfoSize = sizeof(v);
    ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v));
    return v;
}

bool IsNt(const OSVERSIONINFOEXW& v) {
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// Windows 8 or anything newer: 6.2 and up, and every major version past 6.
bool IsWin8OrLater(const OSVERSIONINFOEXW& v) {
    return v.dwMajorVersion > 6 || (v.dwMajorVersion == 6 && v.dwMinorVersion >= 2);
}

}  // namespace

int GetOsName(wchar_t* out) {
    OSVERSIONINFOEXW v = OsVersion();
    const wchar_t* name = L"XP";
    if (IsNt(v)) {
        if (v.dwMajorVersion == 5) {
            name = v.dwMinorVersion == 0 ? L"Win2000" : L"XP";
        } else if (v.dwMajorVersion == 6 && v.dwMinorVersion == 0) {
            name = L"Vista";
        } else if (v.dwMajorVersion == 6 && v.dwMinorVersion == 1) {
            name = L"Win7";
        } else if (IsWin8OrLater(v)) {
            name = L"Win8";
        }
    } else if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && v.dwMajorVersion == 4) {
        name = v.dwMinorVersion < 90 ? L"9x" : L"Me";
    }
    if (out) std::wcscpy(out, name);
    return 1;
}

int isWin7() {
    OSVERSIONINFOEXW v = OsVersion();
    return IsNt(v) && v.dwMajorVersion > 5 ? 1 : 0;
}

int isWin8() {
    OSVERSIONINFOEXW v = OsVersion();
    return IsNt(v) && IsWin8OrLater(v) ? 1 : 0;
}

int isEnableUAC() {
    if (OsVersion().dwMajorVersion < 6) return 0;
    qv::ScopedKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\\", 0,
                        KEY_READ, key.put()) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD value = 0, type = 0, bytes = sizeof(value);
    if (::RegQueryValueExW(key.get(), L"EnableLUA", nullptr, &type,
                           reinterpret_cast<BYTE*>(&value), &bytes) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return 0;
    }
    return value == 1 ? 1 : 0;
}

int isNotebook() {
    SYSTEM_POWER_STATUS status{};
    if (!::GetSystemPowerStatus(&status)) return 0;
    return status.BatteryLifePercent <= 100 ? 1 : 0;  // 255: no battery
}

int isSimplified() {
    return ::GetACP() == 936 ? 1 : 0;
}

int isTraditional() {
    return ::GetACP() == 950 ? 1 : 0;
}

int isEnglish() {
    return ::GetACP() == 1252 ? 1 : 0;
}

void GetCPUID(char* out) {
    if (!out) return;
    unsigned a = 0, b = 0, c = 0, d = 0;
    char vendor[13] = {};
    if (__get_cpuid(0, &a, &b, &c, &d)) {
        std::memcpy(vendor, &b, 4);
        std::memcpy(vendor + 4, &d, 4);
        std::memcpy(vendor + 8, &c, 4);
    }
    unsigned features = 0;
    if (__get_cpuid(1, &a, &b, &c, &d)) features = d;
    // "%s%d" by hand: the C library's formatter would be linked for this alone.
    std::string text = vendor + std::to_string(static_cast<int>(features));
    text.resize(text.size() < 31 ? text.size() : 31);
    std::memcpy(out, text.c_str(), text.size() + 1);
}

int SetPrivilege(const wchar_t* name, int enable) {
    if (!name) return 0;
    qv::ScopedHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                            token.put())) {
        return 0;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    if (!::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return 0;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : SE_PRIVILEGE_REMOVED;
    // A token that lacks the privilege answers ERROR_NOT_ALL_ASSIGNED; the
    // caller learns that only by trying what the privilege allows.
    ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof(privileges), nullptr, nullptr);
    return 1;
}
