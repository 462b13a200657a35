// File names for cached internet-shortcut icons, made safe whatever the
// URL holds.
#include "base/QvShellUrlName.h"

#include <windows.h>

#include <cwchar>

namespace qv {
namespace {

void RemoveAll(std::wstring& text, const wchar_t* part) {
    size_t length = std::wcslen(part);
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at)) {
        text.erase(at, length);
    }
}

bool IsForbidden(wchar_t c) {
    return c < 0x20 || std::wcschr(L"<>:\"/\\|?*", c) != nullptr;
}

// CON, NUL, COM1 … open devices whatever extension follows them.
bool IsDeviceName(const std::wstring& name) {
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    static const wchar_t* const devices[] = {L"con", L"prn", L"aux", L"nul", L"conin$",
                                             L"conout$"};
    for (const wchar_t* device : devices) {
        if (stem == device) return true;
    }
    return stem.size() == 4 && (stem.compare(0, 3, L"com") == 0 || stem.compare(0, 3, L"lpt") == 0) &&
           stem[3] >= L'0' && stem[3] <= L'9';
}

}  // namespace

std::wstring IconCacheName(const std::wstring& url) {
    std::wstring name = url;
    if (!name.empty()) {
        ::CharLowerBuffW(name.data(), static_cast<DWORD>(name.size()));
    }
    RemoveAll(name, L"http://");
    RemoveAll(name, L"https://");
    for (wchar_t& c : name) {
        if (IsForbidden(c)) c = L'_';
    }
    // Windows drops trailing dots and spaces, which would turn ".." into the
    // parent folder and "a." into "a".
    for (size_t i = name.size(); i > 0 && (name[i - 1] == L'.' || name[i - 1] == L' '); --i) {
        name[i - 1] = L'_';
    }
    if (IsDeviceName(name)) name.insert(0, 1, L'_');
    return name;
}

}  // namespace qv
