// The stored machine identifier and URL escaping.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "base/QvScoped.h"
#include "base/QvUtil.h"

namespace {

const wchar_t kKey[] = L"SOFTWARE\\Quorvel";

// Saves the user's stored identifier and puts it back afterwards.
class UidStore : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          key_.put(), nullptr);
        ASSERT_TRUE(key_);
        DWORD bytes = sizeof(saved_);
        had_ = ::RegQueryValueExW(key_.get(), L"UID", nullptr, &savedType_, saved_, &bytes) ==
               ERROR_SUCCESS;
        savedBytes_ = bytes;
    }
    void TearDown() override {
        if (had_) {
            ::RegSetValueExW(key_.get(), L"UID", 0, savedType_, saved_, savedBytes_);
        } else {
            ::RegDeleteValueW(key_.get(), L"UID");
        }
    }
    void Store(const std::wstring& uid) {
        ::RegSetValueExW(key_.get(), L"UID", 0, REG_SZ, reinterpret_cast<const BYTE*>(uid.c_str()),
                         static_cast<DWORD>((uid.size() + 1) * sizeof(wchar_t)));
    }
    std::wstring Stored() {
        wchar_t value[64] = {};
        DWORD bytes = sizeof(value) - sizeof(wchar_t);
        DWORD type = 0;
        if (::RegQueryValueExW(key_.get(), L"UID", nullptr, &type, reinterpret_cast<BYTE*>(value),
                               &bytes) != ERROR_SUCCESS || type != REG_SZ) {
            return L"";
        }
        return value;
    }

    qv::ScopedKey key_;
    BYTE saved_[256] = {};
    DWORD savedBytes_ = 0;
    DWORD savedType_ = 0;
    bool had_ = false;
};

std::wstring Encoded(const std::wstring& text) {
    wchar_t buffer[1024] = {};
    text.copy(buffer, 1023);
    EXPECT_EQ(1, URLEncode(buffer));
    return buffer;
}

}  // namespace

TEST(Uid, FreshIdentifierHasItsForm) {
    wchar_t out[50] = {};
    CreateUID(out, 0);
    EXPECT_TRUE(std::regex_match(std::wstring(out), std::wregex(L"QV-?[0-9]{8,}[0-9]{5}[0-9]{5}")))
        << out;
    EXPECT_LE(std::wstring(out).size(), 23u);
}

TEST_F(UidStore, TwentyCharacterIdentifierIsKept) {
    const std::wstring kept = L"QV000012340001200345";
    ASSERT_EQ(20u, kept.size());
    Store(kept);
    wchar_t out[50] = {};
    CreateUID(out, 1);
    EXPECT_EQ(kept, out);
    CreateUID(out, 1);
    EXPECT_EQ(kept, out);
    EXPECT_EQ(kept, Stored());
}

TEST_F(UidStore, IdentifiersOfOtherLengthsAreReplaced) {
    for (const std::wstring bad : {L"QV00001234000120034", L"QV0000123400012003456", L""}) {
        Store(bad);
        wchar_t out[50] = {};
        CreateUID(out, 1);
        EXPECT_NE(bad, out);
        EXPECT_EQ(std::wstring(out), Stored()) << "the new identifier is written";
    }
    // A value that is not a string reads as empty and is replaced too.
    DWORD number = 5;
    ::RegSetValueExW(key_.get(), L"UID", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number),
                     sizeof(number));
    wchar_t out[50] = {};
    CreateUID(out, 1);
    EXPECT_EQ(std::wstring(out), Stored());
}

TEST_F(UidStore, NewIdentifierIsStoredAndKeptWhenItHasTwentyCharacters) {
    ::RegDeleteValueW(key_.get(), L"UID");
    wchar_t first[50] = {}, second[50] = {};
    CreateUID(first, 1);
    EXPECT_EQ(std::wstring(first), Stored());
    ::Sleep(20);
    CreateUID(second, 1);
    if (std::wstring(first).size() == 20) {
        EXPECT_STREQ(first, second);
    } else {
        // Uptime beyond about 27.8 hours makes longer identifiers, which
        // are never kept.
        EXPECT_EQ(std::wstring(second), Stored());
    }
}

TEST(UrlEncode, EscapesEverythingButTheSafeSet) {
    EXPECT_EQ(L"a%20b%26c%3dd", Encoded(L"a b&c=d"));
    EXPECT_EQ(L"100%", Encoded(L"100%"));
    EXPECT_EQ(L"%e4%b8%ad", Encoded(L"中"));
    EXPECT_EQ(L"AZaz09!'()*-./:_~", Encoded(L"AZaz09!'()*-./:_~"));
    EXPECT_EQ(L"%3f%23%2b%2c%3b%40%5c%22%3c%3e%7b%7d%7c%5e%5b%5d%60%0a",
              Encoded(L"?#+,;@\\\"<>{}|^[]`\n"));
    EXPECT_EQ(L"", Encoded(L""));
}

TEST(UrlEncode, ResultMustFitInTheBuffer) {
    wchar_t buffer[1024] = {};
    // 341 spaces become 1023 units: with the terminator exactly the limit.
    std::wstring(341, L' ').copy(buffer, 1023);
    EXPECT_EQ(1, URLEncode(buffer));
    EXPECT_EQ(1023u, std::wstring(buffer).size());

    std::wstring longer(342, L' ');
    std::fill(std::begin(buffer), std::end(buffer), L'\0');
    longer.copy(buffer, 1023);
    EXPECT_EQ(0, URLEncode(buffer));
    EXPECT_EQ(longer, buffer) << "left unchanged";
}
