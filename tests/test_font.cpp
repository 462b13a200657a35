// Font cache: identity of cached handles, defaults, and what reaches GDI.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "ui/QvBase.h"
#include "ui/QvFont.h"

namespace {

LOGFONTW Describe(HFONT font) {
    LOGFONTW lf{};
    EXPECT_EQ(static_cast<int>(sizeof(lf)), ::GetObjectW(font, sizeof(lf), &lf));
    return lf;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class Plain : public CQvBase {
public:
    void Paint(HDC) override {}
};

}  // namespace

TEST(Font, SameArgumentsGiveTheSameHandleAndFaceCaseMatters) {
    CQvFont cache;
    HFONT a = cache.GetFont(16, L"Arial", 1, 0, 0);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, cache.GetFont(16, L"Arial", 1, 0, 0));
    HFONT lower = cache.GetFont(16, L"arial", 1, 0, 0);
    EXPECT_NE(a, lower) << "faces are compared case-sensitively";
    EXPECT_EQ(lower, cache.GetFont(16, L"arial", 1, 0, 0));
    // Each of the other key fields makes a different font.
    EXPECT_NE(a, cache.GetFont(17, L"Arial", 1, 0, 0));
    EXPECT_NE(a, cache.GetFont(16, L"Arial", 0, 0, 0));
    EXPECT_NE(a, cache.GetFont(16, L"Arial", 1, 1, 0));
    EXPECT_NE(a, cache.GetFont(16, L"Arial", 1, 0, 1));
}

TEST(Font, LogicalFontCarriesTheRequest) {
    CQvFont cache;
    LOGFONTW lf = Describe(cache.GetFont(20, L"Tahoma", 1, 1, 1));
    EXPECT_STREQ(L"Tahoma", lf.lfFaceName);
    EXPECT_EQ(20, lf.lfHeight);
    EXPECT_EQ(FW_BOLD, lf.lfWeight);
    EXPECT_EQ(1, lf.lfUnderline);
    EXPECT_EQ(1, lf.lfItalic);
    EXPECT_EQ(PROOF_QUALITY, lf.lfQuality);
    lf = Describe(cache.GetFont(20, L"Tahoma", 0, 0, 0));
    EXPECT_EQ(FW_NORMAL, lf.lfWeight);
    EXPECT_EQ(0, lf.lfUnderline);

    // A face longer than LOGFONTW holds is cut there, and still cached.
    std::wstring longFace(45, L'x');
    HFONT cut = cache.GetFont(12, longFace.c_str(), 0, 0, 0);
    EXPECT_EQ(cut, cache.GetFont(12, longFace.c_str(), 0, 0, 0));
    EXPECT_EQ(std::wstring(LF_FACESIZE - 1, L'x'), Describe(cut).lfFaceName);
}

TEST(Font, DefaultsFollowTheYaHeiCheck) {
    CQvFont cache;
    wchar_t fonts[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, fonts, CSIDL_FONTS, FALSE));
    std::wstring dir = fonts;
    int expected = Exists(dir + L"\\msyh.ttf") || Exists(dir + L"\\msyh.ttc") ? 1 : 0;
    EXPECT_EQ(expected, cache.CheckFont(L"微软雅黑"));
    EXPECT_EQ(0, cache.CheckFont(L"宋体"));
    EXPECT_EQ(0, cache.CheckFont(nullptr));
    EXPECT_EQ(expected, cache.isSupportYaHei());

    LOGFONTW lf = Describe(cache.GetFont(0, nullptr, 0, 0, 0));
    EXPECT_EQ(expected ? 18 : 12, cache.GetDefaultSize());
    EXPECT_EQ(cache.GetDefaultSize(), lf.lfHeight);
    EXPECT_STREQ(expected ? L"微软雅黑" : L"宋体", lf.lfFaceName);
    EXPECT_EQ(cache.GetFont(0, nullptr, 0, 0, 0),
              cache.GetFont(cache.GetDefaultSize(), lf.lfFaceName, 0, 0, 0));
}

TEST(Font, NewDefaultsApplyToLaterRequestsOnly) {
    CQvFont cache;
    HFONT before = cache.GetFont(0, nullptr, 0, 0, 0);
    cache.SetDefaultFont(14, L"Verdana", -1);
    HFONT after = cache.GetFont(0, nullptr, 0, 0, 0);
    EXPECT_NE(before, after);
    LOGFONTW lf = Describe(after);
    EXPECT_EQ(14, lf.lfHeight);
    EXPECT_STREQ(L"Verdana", lf.lfFaceName);
    EXPECT_EQ(14, cache.GetDefaultSize());
    Describe(before);  // still a live font object

    cache.SetDefaultFont(15, L"Verdana", GB2312_CHARSET);
    EXPECT_EQ(GB2312_CHARSET, Describe(cache.GetFont(0, nullptr, 0, 0, 0)).lfCharSet);
}

TEST(Font, EveryObjectStartsWithTheSharedDefaultFont) {
    Plain object;
    EXPECT_NE(nullptr, object.font);
    EXPECT_EQ(CQvFont::Instance().GetFont(0, nullptr, 0, 0, 0), object.font);
    EXPECT_EQ(&CQvFont::Instance(), &CQvFont::Instance());
}
