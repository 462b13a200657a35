// Installed software, as listed under the uninstall keys.
#include "base/QvUtil.h"

#include <cwchar>
#include <string>

#include "base/QvScoped.h"

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const DWORD kNameUnits = 300;
const DWORD kVersionUnits = 50;

// A string value, cut to fit `units` with its terminator; empty when absent
// or not a string.
void ReadString(HKEY key, const wchar_t* name, wchar_t* out, DWORD units) {
    out[0] = L'\0';
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return;
    }
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                           &bytes) != ERROR_SUCCESS) {
        return;
    }
    value.resize(std::wcslen(value.c_str()));
    std::wcsncpy(out, value.c_str(), units - 1);
    out[units - 1] = L'\0';
}

// Looks through one root's uninstall list; copies the version of the first
// product whose display name begins with `name`.
bool FindIn(HKEY root, REGSAM view, const wchar_t* name, wchar_t* version) {
    // Reading is all we do: asking for more would fail for standard users
    // under HKEY_LOCAL_MACHINE and hide installed products from them.
    qv::ScopedKey list;
    if (::RegOpenKeyExW(root, kUninstall, 0, KEY_READ | view, list.put()) != ERROR_SUCCESS) {
        return false;
    }
    size_t prefix = std::wcslen(name);
    for (DWORD i = 0;; ++i) {
        wchar_t sub[kNameUnits + 1] = {};
        DWORD len = kNameUnits;
        LONG rc = ::RegEnumKeyExW(list.get(), i, sub, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return false;
        if (rc != ERROR_SUCCESS) continue;  // a name too long for us: skip it
        qv::ScopedKey product;
        if (::RegOpenKeyExW(list.get(), sub, 0, KEY_READ | view, product.put()) != ERROR_SUCCESS) {
            continue;
        }
        wchar_t display[kNameUnits + 1] = {};
        ReadString(product.get(), L"DisplayName", display, kNameUnits + 1);
        if (std::wcsncmp(display, name, prefix) != 0) continue;
        if (version) ReadString(product.get(), L"DisplayVersion", version, kVersionUnits);
        return true;
    }
}

bool Find(const wchar_t* name, wchar_t* version) {
    if (!name) return false;
    // The program's own view first, then, under WOW64, the 64-bit one.
    REGSAM first = isWow64() ? KEY_WOW64_32KEY : 0;
    if (FindIn(HKEY_LOCAL_MACHINE, first, name, version) ||
        FindIn(HKEY_CURRENT_USER, first, name, version)) {
        return true;
    }
    return isWow64() && (FindIn(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, name, version) ||
                         FindIn(HKEY_CURRENT_USER, KEY_WOW64_64KEY, name, version));
}

}  // namespace

int GetSoftVer(const wchar_t* name, wchar_t* out) {
    if (out) out[0] = L'\0';
    wchar_t version[kVersionUnits] = {};
    if (!Find(name, version)) return 0;
    if (out) std::wcscpy(out, version);
    return 1;
}

int CheckInstalled(const wchar_t* name) {
    return Find(name, nullptr) ? 1 : 0;
}
