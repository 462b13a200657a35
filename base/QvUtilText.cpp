// Small text helpers: digit and GBK checks, simplified to traditional
// Chinese, text width.
#include "base/QvUtil.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "base/QvNarrow.h"
#include "base/QvScoped.h"

namespace {

const UINT kGbk = 936;
const UINT kBig5 = 950;
const LCID kChinesePrc = MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT);

// Decodes the text in the first `size` bytes of `s`, up to its terminator:
// a caller's buffer may be full to the last byte, with none.
std::wstring Decode(const char* s, int size, UINT codePage) {
    const void* nul = std::memchr(s, '\0', static_cast<size_t>(size));
    const int bytes = nul ? static_cast<int>(static_cast<const char*>(nul) - s) : size;
    if (bytes == 0) return {};
    int len = ::MultiByteToWideChar(codePage, 0, s, bytes, nullptr, 0);
    if (len <= 0) return {};
    std::wstring w(static_cast<size_t>(len), L'\0');
    ::MultiByteToWideChar(codePage, 0, s, bytes, w.data(), len);
    return w;
}

std::wstring ToTraditional(const std::wstring& text) {
    if (text.empty()) return text;
    int len = ::LCMapStringW(kChinesePrc, LCMAP_TRADITIONAL_CHINESE, text.c_str(),
                             static_cast<int>(text.size()), nullptr, 0);
    if (len <= 0) return text;
    std::wstring out(static_cast<size_t>(len), L'\0');
    ::LCMapStringW(kChinesePrc, LCMAP_TRADITIONAL_CHINESE, text.c_str(),
                   static_cast<int>(text.size()), out.data(), len);
    return out;
}

// Encodes into the caller's buffer of `size` bytes, always terminated and
// never cut inside a double-byte character.
void EncodeInto(const std::wstring& text, UINT codePage, char* s, int size) {
    if (size <= 0) return;
    std::string bytes = qv::Narrow(text, codePage);
    size_t fit = bytes.size() < static_cast<size_t>(size - 1) ? bytes.size() : size - 1;
    if (fit < bytes.size()) {
        // Step back to a character boundary.
        size_t i = 0;
        while (i < fit) {
            size_t step = ::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[i])) ? 2 : 1;
            if (i + step > fit) break;
            i += step;
        }
        fit = i;
    }
    std::memcpy(s, bytes.data(), fit);
    s[fit] = '\0';
}

}  // namespace

int isDigital(const char* s) {
    if (!s) return 0;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9') return 0;
    }
    return 1;
}

int isHZ(const char* s) {
    if (!s) return 0;
    size_t len = std::strlen(s);
    unsigned char first = static_cast<unsigned char>(s[0]);
    return len > 0 && len % 2 == 0 && first > 0xA0 && first != 0xA3 ? 1 : 0;
}

void gb2big(char* s, int size) {
    if (!s || size <= 0) return;
    EncodeInto(ToTraditional(Decode(s, size, kGbk)), kBig5, s, size);
}

void GbToTraditional(char* s, int size) {
    if (!s || size <= 0) return;
    if (::GetACP() == kBig5) {
        gb2big(s, size);
        return;
    }
    EncodeInto(ToTraditional(Decode(s, size, kGbk)), kGbk, s, size);
}

int QvGetStrWidth(const wchar_t* text, HWND wnd, HFONT font) {
    if (!text) return 0;
    qv::ScopedWindowDC dc(wnd);
    if (!dc) return 0;
    qv::ScopedSelect select(dc.get(), font);
    SIZE extent{};
    if (!::GetTextExtentPoint32W(dc.get(), text, static_cast<int>(std::wcslen(text)), &extent)) {
        return 0;
    }
    return extent.cx;
}
