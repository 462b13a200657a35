// Dotted version numbers and the version resources of files.
#include "base/QvUtil.h"

#include <cwchar>
#include <string>
#include <vector>

#include "base/QvSystemDll.h"

namespace {

const size_t kFieldChars = 53;  // longer fields are read as their first 53 characters

// Up to four numeric fields; missing ones are 0, text after a fourth dot
// is ignored.
void ParseVersion(const wchar_t* text, long (&fields)[4]) {
    for (long& f : fields) f = 0;
    const wchar_t* p = text;
    for (int i = 0; i < 4 && p; ++i) {
        const wchar_t* dot = std::wcschr(p, L'.');
        size_t len = dot ? static_cast<size_t>(dot - p) : std::wcslen(p);
        wchar_t field[kFieldChars + 1] = {};
        std::wcsncpy(field, p, len < kFieldChars ? len : kFieldChars);
        // wcstol reads leading digits like wtol and saturates instead of
        // wrapping on absurdly long numbers.
        fields[i] = std::wcstol(field, nullptr, 10);
        p = dot ? dot + 1 : nullptr;
    }
}

}  // namespace

int CompVersion(const wchar_t* a, const wchar_t* b) {
    if (!a || !b || !a[0] || !b[0]) return -2;
    long va[4], vb[4];
    ParseVersion(a, va);
    ParseVersion(b, vb);
    for (int i = 0; i < 4; ++i) {
        if (va[i] > vb[i]) return 1;
        if (va[i] < vb[i]) return -1;
    }
    return 0;
}

int GetFileVer(const wchar_t* file, wchar_t* out) {
    if (!out) return 0;
    out[0] = L'\0';
    if (!file) return 0;
    auto infoSize = qv::SystemFn<decltype(&::GetFileVersionInfoSizeW)>(
        L"version.dll", "GetFileVersionInfoSizeW");
    auto infoRead =
        qv::SystemFn<decltype(&::GetFileVersionInfoW)>(L"version.dll", "GetFileVersionInfoW");
    auto query = qv::SystemFn<decltype(&::VerQueryValueW)>(L"version.dll", "VerQueryValueW");
    if (!infoSize || !infoRead || !query) return 0;
    DWORD ignored = 0;
    DWORD size = infoSize(file, &ignored);
    if (!size) return 0;
    std::vector<BYTE> info(size);
    if (!infoRead(file, 0, size, info.data())) return 0;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (!query(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) || !fixed ||
        len < sizeof(VS_FIXEDFILEINFO)) {
        return 0;
    }
    std::swprintf(out, MAX_PATH, L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                  LOWORD(fixed->dwFileVersionLS));
    return 1;
}
