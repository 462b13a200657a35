// Byte counts as short texts ("1.25 GB") and back.
#include "base/QvUtil.h"

#include <climits>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>

namespace {

const __int64 kKB = 1024;
const __int64 kMB = kKB * 1024;
const __int64 kGB = kMB * 1024;
const int kOutUnits = 64;

}  // namespace

void IntToStrSize(__int64 size, wchar_t* out) {
    if (!out) return;
    if (size > kGB) {
        std::swprintf(out, kOutUnits, L"%4.2f GB", static_cast<double>(size) / kGB);
    } else if (size > kMB) {
        std::swprintf(out, kOutUnits, L"%4.2f MB", static_cast<double>(size) / kMB);
    } else if (size <= kKB) {
        std::swprintf(out, kOutUnits, L"%lld B", static_cast<long long>(size));
    } else {
        std::swprintf(out, kOutUnits, L"%4.2f KB", static_cast<double>(size) / kKB);
    }
}

__int64 StrToIntSize(const wchar_t* text) {
    if (!text) return 0;
    std::wstring s = text;
    size_t space = s.find(L' ');
    if (space == std::wstring::npos) return 0;  // the unit must stand apart
    // Only the integer part counts: "1.5 GB" is 1 GB.
    long long number = std::wcstoll(s.substr(0, space).c_str(), nullptr, 10);
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
    __int64 unit = 0;
    if (s.find(L'G') != std::wstring::npos && s.find(L'G') > 0) {
        unit = kGB;
    } else if (s.find(L'M') != std::wstring::npos && s.find(L'M') > 0) {
        unit = kMB;
    } else if (s.find(L'K') != std::wstring::npos && s.find(L'K') > 0) {
        unit = kKB;
    } else if (s.compare(space + 1, 1, L"B") == 0) {
        unit = 1;  // "512 B", as IntToStrSize writes small sizes
    }
    if (unit == 0) return 0;
    // A size too large for 64 bits has no meaningful value.
    if (number > LLONG_MAX / unit || number < LLONG_MIN / unit) return 0;
    return number * unit;
}
