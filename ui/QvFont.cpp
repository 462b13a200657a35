#include "ui/QvFont.h"

#include <shlobj.h>

#include <cwchar>

namespace {

const wchar_t kYaHei[] = L"微软雅黑";
const wchar_t kSimSun[] = L"宋体";

bool FileExists(const std::wstring& path) {
    DWORD attr = ::GetFileAttributesW(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

CQvFont& CQvFont::Instance() {
    static CQvFont fonts;
    return fonts;
}

CQvFont::CQvFont() {
    yaHei_ = CheckFont(kYaHei);
    defaultFace_ = yaHei_ ? kYaHei : kSimSun;
    defaultSize_ = yaHei_ ? 18 : 12;
}

CQvFont::~CQvFont() {
    for (tagFontInfo& info : fonts_) {
        if (info.font) ::DeleteObject(info.font);
    }
    fonts_.clear();
}

HFONT CQvFont::GetFont(int size, const wchar_t* face, int bold, int underline, int italic) {
    tagFontInfo info{};
    info.size = size ? size : defaultSize_;
    info.bold = bold;
    info.underline = underline;
    info.italic = italic;
    // The record holds 49 characters; a longer face is cut there, the same
    // way for the look-up and the creation, so it still caches.
    std::wcsncpy(info.face, face ? face : defaultFace_.c_str(), 49);
    info.face[49] = L'\0';
    return GetFont(info);
}

HFONT CQvFont::GetFont(tagFontInfo& info) {
    for (const tagFontInfo& f : fonts_) {
        if (f.size == info.size && f.bold == info.bold && f.underline == info.underline &&
            f.italic == info.italic && std::wcscmp(f.face, info.face) == 0) {
            return f.font;
        }
    }
    info.font = CreateNewFont(info);
    fonts_.push_back(info);
    return info.font;
}

HFONT CQvFont::CreateNewFont(tagFontInfo& info) {
    LOGFONTW lf{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    // LOGFONTW holds 31 characters of face; GDI matches on what fits.
    std::wcsncpy(lf.lfFaceName, info.face, LF_FACESIZE - 1);
    lf.lfFaceName[LF_FACESIZE - 1] = L'\0';
    lf.lfHeight = info.size;
    lf.lfWeight = info.bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = static_cast<BYTE>(info.underline);
    lf.lfItalic = static_cast<BYTE>(info.italic);
    lf.lfQuality = PROOF_QUALITY;
    if (charset_ != -1) lf.lfCharSet = static_cast<BYTE>(charset_);
    return ::CreateFontIndirectW(&lf);
}

int CQvFont::isSupportYaHei() {
    return yaHei_;
}

int CQvFont::GetDefaultSize() {
    return defaultSize_;
}

void CQvFont::SetDefaultFont(int size, const wchar_t* face, int charset) {
    defaultSize_ = size;
    if (face) defaultFace_ = face;
    charset_ = charset;
}

int CQvFont::CheckFont(const wchar_t* face) {
    if (!face || std::wcscmp(face, kYaHei) != 0) return 0;
    wchar_t fonts[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, fonts, CSIDL_FONTS, FALSE)) return 0;
    std::wstring dir = fonts;
    // Windows 7 and later ship YaHei as a collection (.ttc); XP as .ttf.
    return FileExists(dir + L"\\msyh.ttf") || FileExists(dir + L"\\msyh.ttc") ? 1 : 0;
}
