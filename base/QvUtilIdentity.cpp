// The machine identifier sent with reports, kept per user in the registry.
#include "base/QvUtil.h"

#include <cstdlib>
#include <cwchar>

#include "base/QvScoped.h"

namespace {

const wchar_t kStoreKey[] = L"SOFTWARE\\Quorvel";
const wchar_t kStoreValue[] = L"UID";
const size_t kKeptLength = 20;
const int kIdUnits = 24;  // "QV", up to 11 for the tick count, 5 and 5, terminator

void NewUid(wchar_t* out) {
    ::srand(::GetTickCount());
    // The tick count is printed signed: after 24.8 days of uptime it goes
    // negative and the identifier grows past 20 characters.
    int tick = static_cast<int>(::GetTickCount());
    int r1 = ::rand();
    int r2 = ::rand();
    std::swprintf(out, kIdUnits, L"QV%08d%05d%05d", tick, r1, r2);
}

// The stored identifier, or an empty text when it is missing, is not a
// string, or does not fit in 30 units with its terminator.
void ReadStored(HKEY key, wchar_t (&stored)[31]) {
    DWORD type = 0;
    DWORD bytes = 30 * sizeof(wchar_t);
    if (::RegQueryValueExW(key, kStoreValue, nullptr, &type, reinterpret_cast<BYTE*>(stored),
                           &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        stored[0] = L'\0';
        return;
    }
    stored[bytes / sizeof(wchar_t) < 30 ? bytes / sizeof(wchar_t) : 30] = L'\0';
}

void WriteStored(HKEY key, const wchar_t* uid) {
    ::RegSetValueExW(key, kStoreValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(uid),
                     static_cast<DWORD>((std::wcslen(uid) + 1) * sizeof(wchar_t)));
}

}  // namespace

void CreateUID(wchar_t* out, int persist) {
    wchar_t uid[kIdUnits] = {};
    NewUid(uid);
    if (persist) {
        qv::ScopedKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, KEY_ALL_ACCESS, key.put()) ==
            ERROR_SUCCESS) {
            wchar_t stored[31] = {};
            ReadStored(key.get(), stored);
            // Only an identifier of the original 20-character form is kept;
            // anything else is replaced so the store heals itself.
            if (std::wcslen(stored) == kKeptLength) {
                std::wcscpy(uid, stored);
            } else {
                WriteStored(key.get(), uid);
            }
        } else if (::RegCreateKeyExW(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0,
                                     KEY_READ | KEY_WRITE, nullptr, key.put(),
                                     nullptr) == ERROR_SUCCESS) {
            WriteStored(key.get(), uid);
        }
    }
    std::wcscpy(out, uid);
}
