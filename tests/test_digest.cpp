// MD5, HMAC-MD5 and DES against published vectors; the scrambler, the
// hexadecimal conversions and the string and file encodings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/QvDigest.h"
#include "support/ImageFixtures.h"
#include "support/TestUtil.h"

using namespace qvtest;

namespace {

std::string Md5(const std::string& text, const char* key = nullptr) {
    std::vector<char> buf(text.begin(), text.end());
    buf.resize(std::max<size_t>(buf.size() + 1, 33), '\0');
    EXPECT_EQ(1, MD5Go(buf.data(), const_cast<char*>(key)));
    return buf.data();
}

std::string Bytes(const char* hex) {
    std::string out;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        out.push_back(static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    return out;
}

std::string HexOf(const std::string& bytes) {
    std::string buf = bytes;
    buf.resize(2 * bytes.size() + 1);
    ToHex(buf.data(), static_cast<int>(bytes.size()));
    return buf.c_str();
}

std::string Des(const char* keyHex, const char* dataHex, int encrypt) {
    std::string key = Bytes(keyHex), data = Bytes(dataHex);
    DesGo(key.data(), data.data(), static_cast<int>(data.size()), encrypt);
    return HexOf(data);
}

}  // namespace

TEST(Md5, Rfc1321Suite) {
    EXPECT_EQ("D41D8CD98F00B204E9800998ECF8427E", Md5(""));
    EXPECT_EQ("0CC175B9C0F1B6A831C399E269772661", Md5("a"));
    EXPECT_EQ("900150983CD24FB0D6963F7D28E17F72", Md5("abc"));
    EXPECT_EQ("F96B697D7CB7938D525A2F31AAF161D0", Md5("message digest"));
    EXPECT_EQ("C3FCD3D76192E4007DFB496CCA67E13B", Md5("abcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ("D174AB98D277D9F5A5611C2C9F419D9F",
              Md5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"));
    // 80 bytes: the padding spills into a second block.
    std::string digits;
    for (int i = 0; i < 8; ++i) digits += "1234567890";
    EXPECT_EQ("57EDF4A22BE3C955AC49DA2E2107B67A", Md5(digits));
}

TEST(Md5, EngineHashesInPiecesAndCopiesItsState) {
    std::string digits;
    for (int i = 0; i < 8; ++i) digits += "1234567890";
    auto* p = reinterpret_cast<const unsigned char*>(digits.data());
    auto hexOf = [](const unsigned char* d) { return HexOf(std::string(reinterpret_cast<const char*>(d), 16)); };
    // Pieces that end inside a block, exactly at its border and past it.
    CMd5A md5;
    md5.Update(p, 3);
    CMd5A copy(md5);
    md5.Update(p + 3, 61);
    md5.Update(p + 64, 0);
    md5.Update(p + 64, 16);
    unsigned char digest[16];
    md5.Final(digest);
    EXPECT_EQ("57EDF4A22BE3C955AC49DA2E2107B67A", hexOf(digest));
    // The copy goes on from the state it was given.
    copy.Update(p + 3, 77);
    copy.Final(digest);
    EXPECT_EQ("57EDF4A22BE3C955AC49DA2E2107B67A", hexOf(digest));
    // Final leaves the engine wiped; Init starts it again.
    md5.Init();
    md5.Final(digest);
    EXPECT_EQ("D41D8CD98F00B204E9800998ECF8427E", hexOf(digest));
}

TEST(Md5, HmacRfc2104And2202) {
    EXPECT_EQ("9294727A3638BB1C13F48EF8158BFC9D",
              Md5("Hi There", std::string(16, '\x0b').c_str()));
    EXPECT_EQ("750C783E6AB0B503EAA86E310A5DB738", Md5("what do ya want for nothing?", "Jefe"));
    EXPECT_EQ("56BE34521D144C88DBB8C733F0E8B3F6",
              Md5(std::string(50, '\xdd'), std::string(16, '\xaa').c_str()));
    std::string key25;
    for (int i = 1; i <= 25; ++i) key25.push_back(static_cast<char>(i));
    EXPECT_EQ("697EAF0ACA3A3AEA3A75164746FFAA79", Md5(std::string(50, '\xcd'), key25.c_str()));
    EXPECT_EQ("56461EF2342EDC00F9BAB995690EFD4C",
              Md5("Test With Truncation", std::string(16, '\x0c').c_str()));
    // Keys longer than a block are hashed first.
    std::string key80(80, '\xaa');
    EXPECT_EQ("6B1AB7FE4BD7BF8F0B62E6CE61B9D0CD",
              Md5("Test Using Larger Than Block-Size Key - Hash Key First", key80.c_str()));
    EXPECT_EQ("6F630FAD67CDA0EE1FB1F562DB3AA53E",
              Md5("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
                  key80.c_str()));
    // Exactly 64 bytes is used as it is; 65 is hashed.
    EXPECT_EQ("F38420EE2E6C7CD5D9977BFFBA49D984", Md5("x", std::string(64, 'k').c_str()));
    EXPECT_EQ("35D6A3481580C58AAB0EFCC7F04C5E59", Md5("x", std::string(65, 'k').c_str()));
}

TEST(Md5, NullDataFailsAndConcurrentCallsKeepTheirOwnText) {
    EXPECT_EQ(0, MD5Go(nullptr, nullptr));
    // Two threads hashing different texts must each get their own digest.
    auto worker = [](const char* text, const char* want, bool* ok) {
        *ok = true;
        for (int i = 0; i < 2000 && *ok; ++i) {
            char buf[40] = {};
            std::strcpy(buf, text);
            MD5Go(buf, nullptr);
            *ok = std::strcmp(buf, want) == 0;
        }
    };
    bool ok1 = false, ok2 = false;
    std::thread t1(worker, "abc", "900150983CD24FB0D6963F7D28E17F72", &ok1);
    std::thread t2(worker, "a", "0CC175B9C0F1B6A831C399E269772661", &ok2);
    t1.join();
    t2.join();
    EXPECT_TRUE(ok1);
    EXPECT_TRUE(ok2);
}

TEST(Des, PublishedVectors) {
    // FIPS 81's ECB example: "Now is the time for all ".
    EXPECT_EQ("3FA40E8A984D48156A271787AB8883F9893D51EC4B563B53",
              Des("0123456789ABCDEF", "4E6F77206973207468652074696D6520666F7220616C6C20", 1));
    EXPECT_EQ("4E6F77206973207468652074696D6520666F7220616C6C20",
              Des("0123456789ABCDEF", "3FA40E8A984D48156A271787AB8883F9893D51EC4B563B53", 0));
    // Known-answer tests: variable plaintext, variable key, S-boxes.
    EXPECT_EQ("95F8A5E5DD31D900", Des("0101010101010101", "8000000000000000", 1));
    EXPECT_EQ("DD7F121CA5015619", Des("0101010101010101", "4000000000000000", 1));
    EXPECT_EQ("95A8D72813DAA94D", Des("8001010101010101", "0000000000000000", 1));
    EXPECT_EQ("690F5B0D9A26939B", Des("7CA110454A1A6E57", "01A1D6D039776742", 1));
    EXPECT_EQ("85E813540F0AB405", Des("133457799BBCDFF1", "0123456789ABCDEF", 1));
    EXPECT_EQ("0123456789ABCDEF", Des("133457799BBCDFF1", "85E813540F0AB405", 0));
    // Parity bits are ignored: 0x01 and 0x00 make the same key.
    EXPECT_EQ("95F8A5E5DD31D900", Des("0000000000000000", "8000000000000000", 1));
}

TEST(Des, OnlyWholeBlocksChange) {
    // 12 bytes: the first 8 are encrypted, the last 4 stay.
    EXPECT_EQ("3FA40E8A984D481501020304",
              Des("0123456789ABCDEF", "4E6F77206973207401020304", 1));
    // Fewer than 8 bytes, or no data: nothing happens.
    std::string key = Bytes("0123456789ABCDEF"), data = Bytes("4E6F772069732074");
    DesGo(key.data(), data.data(), 7, 1);
    DesGo(key.data(), nullptr, 8, 1);
    EXPECT_EQ("4E6F772069732074", HexOf(data));
}

TEST(Encode, ScramblerHexAndTheirInverses) {
    char two[2] = {0, 0};
    EasyEncode(two, 2);
    EXPECT_EQ(8, two[0]);
    EXPECT_EQ(9, two[1]);
    // The key wraps at 256: byte 250 is XORed with 2.
    std::string long_(300, '\0');
    EasyEncode(long_.data(), 300);
    EXPECT_EQ(2, long_[250]);
    EasyEncode(long_.data(), 300);
    EXPECT_EQ(std::string(300, '\0'), long_);
    EasyEncode(nullptr, 4);

    char hex[5] = {'\x0a', '\xff'};
    ToHex(hex, 2);
    EXPECT_STREQ("0AFF", hex);
    ToAsc(hex, 4);
    EXPECT_EQ('\x0a', hex[0]);
    EXPECT_EQ('\xff', hex[1]);
    EXPECT_EQ('\0', hex[2]);
}

TEST(Encode, ToAscTakesLettersAsCodeMinus55) {
    // A lower-case letter first in a pair still decodes (the excess falls
    // out of the byte); second in a pair it adds 32.
    char text[] = "aF";
    ToAsc(text, 2);
    EXPECT_EQ('\xaf', text[0]);
    char second[] = "0a";
    ToAsc(second, 2);
    EXPECT_EQ(0x0a + 32, static_cast<unsigned char>(second[0]));
}

TEST(Encode, QvEncodeRoundTripsAndHidesTheText) {
    const char* key = "qv-key-8";
    for (const char* text : {"hello", "exactly8", "a longer text of 27 letters"}) {
        const int len = static_cast<int>(std::strlen(text));
        std::vector<char> buf(2 * len + 1);
        std::memcpy(buf.data(), text, len);
        QvEncode(key, buf.data(), len, 1);
        EXPECT_EQ(2u * len, std::strlen(buf.data())) << text;
        for (int i = 0; i < 2 * len; ++i)
            EXPECT_TRUE(std::isxdigit(buf[i]) && !std::islower(buf[i])) << text;
        // Only the scrambler covers a tail: for 5 bytes, exactly that.
        if (len < 8) {
            std::string plain(text);
            EasyEncode(plain.data(), len);
            EXPECT_EQ(HexOf(plain), buf.data());
        }
        QvEncode(key, buf.data(), 2 * len, 0);
        EXPECT_STREQ(text, buf.data());
    }
}

TEST(Encode, FileEncodingRestartsEveryKilobyteAndIsSelfInverse) {
    TempDir dir;
    std::vector<BYTE> data(2600);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7);
    ASSERT_TRUE(WriteBytes(dir / L"a.bin", data));
    ASSERT_EQ(1, QvEncodeFile((dir / L"a.bin").c_str(), (dir / L"b.bin").c_str()));
    std::vector<BYTE> enc = ReadBytes(dir / L"b.bin");
    ASSERT_EQ(data.size(), enc.size());
    for (size_t k = 0; k < data.size(); ++k)
        ASSERT_EQ(static_cast<BYTE>(data[k] ^ ((k % 1024 + 8) & 0xFF)), enc[k]) << k;
    ASSERT_EQ(1, QvEncodeFile((dir / L"b.bin").c_str(), (dir / L"c.bin").c_str()));
    EXPECT_EQ(data, ReadBytes(dir / L"c.bin"));

    EXPECT_EQ(0, QvEncodeFile((dir / L"missing.bin").c_str(), (dir / L"d.bin").c_str()));
    EXPECT_FALSE(FileExists(dir / L"d.bin"));
    EXPECT_EQ(0, QvEncodeFile((dir / L"a.bin").c_str(), (dir / L"no\\such\\dir.bin").c_str()));
    // A file cannot be encoded onto itself: it would be truncated first.
    EXPECT_EQ(0, QvEncodeFile((dir / L"a.bin").c_str(), (dir / L"a.bin").c_str()));
    EXPECT_EQ(data, ReadBytes(dir / L"a.bin"));
}

// The bounded forms write nothing past the size they are given, and the
// specified forms stay within what they may touch. Each buffer is followed
// by guard bytes that must come out unchanged.
namespace {

constexpr char kGuard = '\x5A';

struct Guarded {
    explicit Guarded(size_t size, const char* text = "") : bytes(size + 16, kGuard), size(size) {
        std::memcpy(bytes.data(), text, std::min(size, std::strlen(text) + 1));
    }
    char* data() { return bytes.data(); }
    bool intact() const { return std::string(bytes.data() + size, 16) == std::string(16, kGuard); }
    std::vector<char> bytes;
    size_t size;
};

}  // namespace

TEST(Bounded, Md5WritesOnlyWhereItHasRoom) {
    Guarded small(32, "abc");
    EXPECT_EQ(0, MD5GoEx(small.data(), nullptr, small.data(), 32));
    EXPECT_STREQ("abc", small.data());
    EXPECT_TRUE(small.intact());
    Guarded fits(33);
    EXPECT_EQ(1, MD5GoEx("abc", nullptr, fits.data(), 33));
    EXPECT_STREQ("900150983CD24FB0D6963F7D28E17F72", fits.data());
    EXPECT_TRUE(fits.intact());
    Guarded hmac(33);
    EXPECT_EQ(1, MD5GoEx("what do ya want for nothing?", "Jefe", hmac.data(), 33));
    EXPECT_STREQ("750C783E6AB0B503EAA86E310A5DB738", hmac.data());
    EXPECT_TRUE(hmac.intact());
}

TEST(Bounded, HexNeedsTwiceTheLengthAndOne) {
    Guarded buf(5, "\x0A\xFF");
    EXPECT_EQ(0, ToHexEx(buf.data(), 3, 6));  // needs 7
    EXPECT_TRUE(buf.intact());
    EXPECT_EQ(1, ToHexEx(buf.data(), 2, 5));
    EXPECT_STREQ("0AFF", buf.data());
    EXPECT_TRUE(buf.intact());
    // 2 * len + 1 beyond what an int holds: no size can fit it, and the
    // specified form, which cannot check the size, does nothing either.
    Guarded huge(8, "keep");
    EXPECT_EQ(0, ToHexEx(huge.data(), 0x40000000, 8));
    ToHex(huge.data(), 0x40000000);
    EXPECT_STREQ("keep", huge.data());
    EXPECT_TRUE(huge.intact());
}

TEST(Bounded, DesReadsAShortKeyOnlyToItsEnd) {
    // "ab" followed by different bytes after its terminator: the same key.
    const char keyA[] = "ab\0XXXXXX";
    const char keyB[] = "ab\0YYYYYY";
    std::string a = Bytes("4E6F772069732074"), b = a, c = a;
    DesGo(keyA, a.data(), 8, 1);
    DesGo(keyB, b.data(), 8, 1);
    EXPECT_EQ(HexOf(a), HexOf(b));
    // It is "ab" padded with zeros, as the sized form spells it.
    const char padded[8] = {'a', 'b'};
    DesGoEx(padded, 8, c.data(), 8, 1);
    EXPECT_EQ(HexOf(a), HexOf(c));
    // The sized form takes zeros inside the key as key bytes.
    std::string d = Bytes("4E6F772069732074");
    DesGoEx(Bytes("0001010101010101").data(), 8, d.data(), 8, 1);
    EXPECT_EQ("4E6F772069732074", Des("0001010101010101", HexOf(d).c_str(), 0));
}
