// File-type and URL-protocol registration under HKEY_CLASSES_ROOT.
#include "base/QvShell.h"

#include <cwchar>
#include <string>

#include "base/QvScoped.h"
#include "base/QvUtil.h"

namespace {

// Creates (or opens) the key and, when `value` is given, sets the named
// value (null name: the default value). False on any failure.
bool WriteClassValue(const std::wstring& key, const wchar_t* name, const wchar_t* value) {
    qv::ScopedKey handle;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                          nullptr, handle.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    if (!value) return true;
    DWORD bytes = static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            bytes) == ERROR_SUCCESS;
}

std::wstring ReadClassDefault(const wchar_t* key) {
    qv::ScopedKey handle;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, handle.put()) != ERROR_SUCCESS) {
        return {};
    }
    wchar_t value[MAX_PATH] = {};
    DWORD type = 0, bytes = sizeof(value) - sizeof(wchar_t);
    if (::RegQueryValueExW(handle.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                           &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return value;
}

}  // namespace

void RegFileRelation(const wchar_t* ext, const wchar_t* exe, const wchar_t* progId,
                     const wchar_t* icon, const wchar_t* description) {
    if (!ext || !*ext || !exe || !progId || !*progId) return;
    if (::lstrcmpiW(ReadClassDefault(ext).c_str(), progId) == 0) return;
    std::wstring id = progId;
    std::wstring command = L"\"" + std::wstring(exe) + L"\" \"%1\"";
    WriteClassValue(ext, nullptr, progId) &&
        WriteClassValue(id, nullptr, description ? description : L"") &&
        WriteClassValue(id + L"\\DefaultIcon", nullptr, icon ? icon : L"") &&
        WriteClassValue(id + L"\\Shell", nullptr, nullptr) &&
        WriteClassValue(id + L"\\Shell\\Open", nullptr, nullptr) &&
        WriteClassValue(id + L"\\Shell\\Open\\Command", nullptr, command.c_str());
}

void RegProtocol(const wchar_t* scheme, const wchar_t* exeName) {
    if (!scheme || !*scheme || !exeName) return;
    wchar_t folder[MAX_PATH] = {};
    GetCurPath(folder);
    std::wstring key = scheme;
    std::wstring program = std::wstring(folder) + exeName;
    std::wstring name = key + L"Protocol";
    std::wstring icon = program + L",0";
    // Quoted: an unquoted path with spaces may start another program.
    std::wstring command = L"\"" + program + L"\" \"%1\"";
    WriteClassValue(key, nullptr, name.c_str()) &&
        WriteClassValue(key, L"URL Protocol", program.c_str()) &&
        WriteClassValue(key + L"\\DefaultIcon", nullptr, icon.c_str()) &&
        WriteClassValue(key + L"\\shell\\open\\command", nullptr, command.c_str());
}
