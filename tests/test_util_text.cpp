// Size texts, version comparison and the small text helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/QvUtil.h"
#include "support/TestUtil.h"

namespace {

std::wstring SizeText(__int64 size) {
    wchar_t out[64] = {};
    IntToStrSize(size, out);
    return out;
}

}  // namespace

TEST(SizeText, UnitBoundaries) {
    EXPECT_EQ(L"0 B", SizeText(0));
    EXPECT_EQ(L"-5 B", SizeText(-5));
    EXPECT_EQ(L"1024 B", SizeText(1024));
    EXPECT_EQ(L"1.00 KB", SizeText(1025));
    EXPECT_EQ(L"1024.00 KB", SizeText(1048576));
    EXPECT_EQ(L"1.00 MB", SizeText(1048577));
    EXPECT_EQ(L"1.50 MB", SizeText(1572864));
    EXPECT_EQ(L"1024.00 MB", SizeText(1073741824));
    EXPECT_EQ(L"1.00 GB", SizeText(1073741825));
    EXPECT_EQ(L"5120.00 GB", SizeText(5LL << 40));
}

TEST(SizeText, ReadingBack) {
    EXPECT_EQ(2097152, StrToIntSize(L"2 MB"));
    EXPECT_EQ(0, StrToIntSize(L"2MB")) << "the unit must follow a space";
    EXPECT_EQ(1073741824, StrToIntSize(L"1.5 GB")) << "only the integer part counts";
    EXPECT_EQ(3072, StrToIntSize(L"3 kb"));
    EXPECT_EQ(512, StrToIntSize(L"512 B"));
    EXPECT_EQ(0, StrToIntSize(L"12 XB"));
    EXPECT_EQ(0, StrToIntSize(L""));
    EXPECT_EQ(0, StrToIntSize(nullptr));
    EXPECT_EQ(0, StrToIntSize(L"99999999999999 GB")) << "too large for 64 bits";
    EXPECT_EQ(1024, StrToIntSize(SizeText(1025).c_str()));
    EXPECT_EQ(1024, StrToIntSize(SizeText(1024).c_str()));
}

TEST(Version, Comparison) {
    EXPECT_EQ(-2, CompVersion(L"", L"1"));
    EXPECT_EQ(-2, CompVersion(L"1", L""));
    EXPECT_EQ(-2, CompVersion(nullptr, L"1"));
    EXPECT_EQ(-1, CompVersion(L"2.0", L"10.0"));
    EXPECT_EQ(1, CompVersion(L"10.0", L"2.0"));
    EXPECT_EQ(0, CompVersion(L"1.2", L"1.2.0.0"));
    EXPECT_EQ(1, CompVersion(L"1.10", L"1.9"));
    EXPECT_EQ(-1, CompVersion(L"1.2.3.4", L"1.2.3.5"));
    EXPECT_EQ(0, CompVersion(L"1.2.3.4.9", L"1.2.3.4.1")) << "text after a fourth dot is ignored";
    EXPECT_EQ(0, CompVersion(L"1b.2x", L"1.2"));
    EXPECT_EQ(0, CompVersion(L"a.b", L"0"));
    // A field is read as its first 53 characters: the trailing 7 is cut.
    std::wstring zeros(53, L'0');
    EXPECT_EQ(0, CompVersion((zeros + L"7").c_str(), L"0"));
    EXPECT_EQ(1, CompVersion((std::wstring(52, L'0') + L"7").c_str(), L"0"));
}

TEST(Text, DigitsAndGbkCharacters) {
    EXPECT_EQ(1, isDigital(""));
    EXPECT_EQ(1, isDigital("0123456789"));
    EXPECT_EQ(0, isDigital("12a"));
    EXPECT_EQ(0, isDigital("-1"));
    EXPECT_EQ(1, isHZ("\xD6\xD0"));          // 中
    EXPECT_EQ(1, isHZ("\xD6\xD0\xCE\xC4"));  // 中文
    EXPECT_EQ(0, isHZ("\xD6\xD0\xCE"));      // odd length
    EXPECT_EQ(0, isHZ("\xA3\xA1"));          // full-width punctuation row
    EXPECT_EQ(0, isHZ("ab"));
    EXPECT_EQ(0, isHZ(""));
}

TEST(Text, SimplifiedToTraditional) {
    // Characters written alike in both scripts show the code-page step.
    char big5[16] = "\xD6\xD0\xCE\xC4";  // 中文 in GBK
    gb2big(big5, sizeof(big5));
    EXPECT_STREQ("\xA4\xA4\xA4\xE5", big5);  // 中文 in Big5

    // A small buffer takes whole characters only, and its terminator.
    char cut[8] = "\xD6\xD0\xCE\xC4";
    gb2big(cut, 4);
    EXPECT_STREQ("\xA4\xA4", cut);
    char none[8] = "\xD6\xD0";
    gb2big(none, 2);
    EXPECT_STREQ("", none);

    wchar_t probe[2] = {};
    const LCID prc = MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT);
    if (::LCMapStringW(prc, LCMAP_TRADITIONAL_CHINESE, L"\u6c49", 1, probe, 2) != 1 ||
        probe[0] != L'\u6f22') {
        QV_SKIP_LACKING("traditional-chinese") << "LCMapStringW maps no simplified character";
    }
    char words[16] = "\xBA\xBA\xD3\xEF";  // 汉语 in GBK
    gb2big(words, sizeof(words));
    EXPECT_STREQ("\xBA\x7E\xBBy", words);  // 漢語 in Big5
    char gbk[16] = "\xBA\xBA\xD3\xEF";
    if (::GetACP() != 950) {
        GbToTraditional(gbk, sizeof(gbk));
        EXPECT_STREQ("\x9D\x68\xD5\x5A", gbk);  // 漢語 in GBK
    }
}

// Text that fills its buffer without a terminator is read only as far as
// the size given. The byte after it here is a page no one may read, so a
// read past the size ends the child with an access violation.
QV_CHILD(text_unterminated) {
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    const DWORD page = info.dwPageSize;
    char* base = static_cast<char*>(
        ::VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (!base || !::VirtualProtect(base + page, page, PAGE_NOACCESS, &old)) return 2;
    char* s = base + page - 4;
    std::memcpy(s, "\xD6\xD0\xCE\xC4", 4);  // 中文 in GBK, filling all four bytes
    gb2big(s, 4);
    const bool big5 = std::memcmp(s, "\xA4\xA4", 3) == 0;  // 中 and the terminator
    std::memcpy(s, "\xD6\xD0\xCE\xC4", 4);
    GbToTraditional(s, 4);
    const bool traditional = std::memcmp(s, ::GetACP() == 950 ? "\xA4\xA4" : "\xD6\xD0", 3) == 0;
    ::VirtualFree(base, 0, MEM_RELEASE);
    return big5 && traditional ? 0 : 1;
}

TEST(Text, UnterminatedTextIsReadOnlyToItsSize) {
    EXPECT_EQ(0, qvtest::RunChild("text_unterminated"));
}

TEST(Text, WidthGrowsWithTextAndFont) {
    HFONT small = ::CreateFontW(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                                L"Arial");
    HFONT large = ::CreateFontW(30, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                                L"Arial");
    int a = QvGetStrWidth(L"abc", nullptr, small);
    int b = QvGetStrWidth(L"abcabc", nullptr, small);
    int c = QvGetStrWidth(L"abc", nullptr, large);
    EXPECT_GT(a, 0);
    EXPECT_GT(b, a);
    EXPECT_GT(c, a);
    EXPECT_EQ(0, QvGetStrWidth(L"", nullptr, small));
    ::DeleteObject(small);
    ::DeleteObject(large);
}
