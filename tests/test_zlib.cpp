// zlib binding: buffer inflation and whole-file compression through the
// zlib1.dll that the build copies beside the programs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/QvZlib.h"
#include "support/TestUtil.h"

namespace {

// gzip.compress(b"qvUninstall gzip " * 1000, mtime=0), made by Python: a
// stream from another producer that inflates to more than one 4096-byte step.
const unsigned char kGzip[] = {
    0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0xed, 0xc8, 0xc1, 0x09, 0x00, 0x10,
    0x14, 0x00, 0xd0, 0x55, 0x2c, 0x65, 0x00, 0x27, 0x29, 0xc9, 0x8f, 0x1c, 0x4c, 0x6f, 0x0f, 0xbd,
    0x77, 0x7c, 0x71, 0xf2, 0x68, 0x63, 0xed, 0xd2, 0x7b, 0xaa, 0xb7, 0xcd, 0x14, 0x42, 0x08, 0x21,
    0x84, 0x10, 0x42, 0x08, 0x21, 0x84, 0x10, 0x42, 0x08, 0x21, 0x84, 0x10, 0x42, 0x08, 0x21, 0x84,
    0x10, 0x42, 0x08, 0x21, 0x84, 0x10, 0x42, 0x08, 0x21, 0x84, 0x10, 0x42, 0x08, 0x21, 0x84, 0x10,
    0x42, 0x08, 0x21, 0x84, 0x10, 0xe2, 0xc7, 0x78, 0x68, 0x6c, 0xc7, 0x5a, 0x68, 0x42, 0x00, 0x00};

std::string Repeat(const char* piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

// Bytes that compress badly, so compress2 needs more room than the input.
std::string Noise(size_t size) {
    std::string s(size, '\0');
    unsigned x = 12345;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 23);
    }
    return s;
}

std::string ReadAll(const std::wstring& path) {
    std::string data;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "<missing>";
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(f, buf, sizeof(buf), &got, nullptr) && got) data.append(buf, got);
    ::CloseHandle(f);
    return data;
}

struct Decoded {
    long hr;
    unsigned char* out;
    long size;
    std::string text() const { return out ? std::string(reinterpret_cast<char*>(out), size) : ""; }
};

Decoded Decode(const std::string& data) {
    Decoded d{0, reinterpret_cast<unsigned char*>(1), -1};
    d.hr = CQvZlib::Instance().DecodeGZipBuffer(
        reinterpret_cast<unsigned char*>(const_cast<char*>(data.data())),
        static_cast<long>(data.size()), &d.out, &d.size);
    return d;
}

class Zlib : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CQvZlib::Instance().InitZlib(nullptr)); }
    qvtest::TempDir dir_{L"qvzlib"};
};

}  // namespace

TEST_F(Zlib, GzipAndZlibBodiesInflateWhole) {
    Decoded gz = Decode(std::string(reinterpret_cast<const char*>(kGzip), sizeof(kGzip)));
    ASSERT_EQ(S_OK, gz.hr);
    EXPECT_EQ(Repeat("qvUninstall gzip ", 1000), gz.text());
    std::free(gz.out);

    // A zlib stream (as EncodeFile writes it) goes through the same door.
    std::string text = Repeat("zlib 中文 body ", 700);
    ASSERT_TRUE(qvtest::WriteFileBytes(dir_ / L"plain", text.data(), text.size()));
    ASSERT_EQ(S_OK, CQvZlib::Instance().EncodeFile((dir_ / L"plain").c_str(),
                                                   (dir_ / L"packed").c_str(), 9));
    std::string packed = ReadAll(dir_ / L"packed");
    ASSERT_EQ(0x78, static_cast<unsigned char>(packed[0]));
    Decoded z = Decode(packed);
    ASSERT_EQ(S_OK, z.hr);
    EXPECT_EQ(text, z.text());
    std::free(z.out);
}

TEST_F(Zlib, CutOrCorruptStreamsFailWithNoOutput) {
    std::string cut(reinterpret_cast<const char*>(kGzip), sizeof(kGzip) - 1);
    Decoded d = Decode(cut);
    EXPECT_EQ(E_FAIL, d.hr);
    EXPECT_EQ(nullptr, d.out);
    EXPECT_EQ(0, d.size);

    Decoded junk = Decode("this is plain text, not a compressed stream");
    EXPECT_EQ(E_FAIL, junk.hr);
    EXPECT_EQ(nullptr, junk.out);

    Decoded empty = Decode("");
    EXPECT_EQ(E_FAIL, empty.hr);
}

TEST_F(Zlib, FilesRoundTripAndBuffersGrowPastTheirFirstSize) {
    CQvZlib& z = CQvZlib::Instance();
    // 1.5 MB of noise compresses to more than its own size, so compress2
    // overflows its first buffer (the input's size) and must double once.
    std::string noise = Noise(1500000);
    ASSERT_TRUE(qvtest::WriteFileBytes(dir_ / L"noise", noise.data(), noise.size()));
    ASSERT_EQ(S_OK, z.EncodeFile((dir_ / L"noise").c_str(), (dir_ / L"noise.z").c_str(), -1));
    // No hint: the first buffer is 1,000,000 bytes, too small for 1.5 MB.
    ASSERT_EQ(S_OK, z.DecodeFile((dir_ / L"noise.z").c_str(), (dir_ / L"out1").c_str(), 0));
    EXPECT_TRUE(ReadAll(dir_ / L"out1") == noise);
    // A hint far too small still ends in success after doubling.
    ASSERT_EQ(S_OK, z.DecodeFile((dir_ / L"noise.z").c_str(), (dir_ / L"out2").c_str(), 7));
    EXPECT_TRUE(ReadAll(dir_ / L"out2") == noise);
}

// A size hint is a guess at the output. One far beyond what a small file
// can inflate to must not cost the memory it names: a 32-bit process has
// no 600 MB to spare in one piece.
TEST_F(Zlib, AHugeSizeHintDecodesASmallFile) {
    CQvZlib& z = CQvZlib::Instance();
    std::string text = Repeat("hint ", 40);
    ASSERT_TRUE(qvtest::WriteFileBytes(dir_ / L"small", text.data(), text.size()));
    ASSERT_EQ(S_OK, z.EncodeFile((dir_ / L"small").c_str(), (dir_ / L"small.z").c_str(), 0));
    for (unsigned long hint : {600000000ul, 1000000000ul}) {
        EXPECT_EQ(S_OK, z.DecodeFile((dir_ / L"small.z").c_str(), (dir_ / L"small.out").c_str(),
                                     hint))
            << hint;
        EXPECT_EQ(text, ReadAll(dir_ / L"small.out"));
    }
}

TEST_F(Zlib, EmptyFilesBadStreamsAndMissingFiles) {
    CQvZlib& z = CQvZlib::Instance();
    ASSERT_TRUE(qvtest::WriteFileBytes(dir_ / L"empty", "", 0));
    ASSERT_TRUE(qvtest::WriteFileBytes(dir_ / L"e.z", "old", 3));
    EXPECT_EQ(S_OK, z.EncodeFile((dir_ / L"empty").c_str(), (dir_ / L"e.z").c_str(), 6));
    EXPECT_EQ("", ReadAll(dir_ / L"e.z"));
    EXPECT_EQ(S_OK, z.DecodeFile((dir_ / L"empty").c_str(), (dir_ / L"e.out").c_str(), 0));
    EXPECT_EQ("", ReadAll(dir_ / L"e.out"));

    ASSERT_TRUE(qvtest::WriteFileBytes(dir_ / L"text", "not zlib at all", 15));
    EXPECT_EQ(E_FAIL, z.DecodeFile((dir_ / L"text").c_str(), (dir_ / L"t.out").c_str(), 0));

    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
              z.EncodeFile((dir_ / L"absent").c_str(), (dir_ / L"a.z").c_str(), 6));
    EXPECT_FALSE(qvtest::FileExists(dir_ / L"a.z"));
}

TEST_F(Zlib, WithoutTheLibraryEverythingDegradesAndRebindingWorks) {
    CQvZlib& z = CQvZlib::Instance();
    // A module loaded from a folder that holds no zlib1.dll.
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_TRUE(::CopyFileW((std::wstring(system) + L"\\version.dll").c_str(),
                            (dir_ / L"qvprobe.dll").c_str(), FALSE));
    HMODULE probe = ::LoadLibraryW((dir_ / L"qvprobe.dll").c_str());
    ASSERT_NE(nullptr, probe);
    z.UninitZlib();
    long hr = z.InitZlib(L"qvprobe.dll");
    ::FreeLibrary(probe);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), hr);
    Decoded d = Decode(std::string(reinterpret_cast<const char*>(kGzip), sizeof(kGzip)));
    EXPECT_EQ(E_FAIL, d.hr);
    EXPECT_EQ(nullptr, d.out);
    ASSERT_TRUE(qvtest::WriteFileBytes(dir_ / L"f", "abc", 3));
    EXPECT_EQ(E_NOINTERFACE, z.EncodeFile((dir_ / L"f").c_str(), (dir_ / L"f.z").c_str(), 6));
    EXPECT_EQ(E_NOINTERFACE, z.DecodeFile((dir_ / L"f").c_str(), (dir_ / L"f.o").c_str(), 0));

    EXPECT_EQ(S_OK, z.InitZlib(nullptr));
    EXPECT_EQ(S_OK, z.InitZlib(nullptr));  // already bound
    d = Decode(std::string(reinterpret_cast<const char*>(kGzip), sizeof(kGzip)));
    EXPECT_EQ(S_OK, d.hr);
    std::free(d.out);
}

namespace {

// `size` zero bytes compressed by the library itself: a few kilobytes that
// inflate to megabytes.
std::string Bomb(size_t size) {
    using Compress2Fn = int (*)(unsigned char*, unsigned long*, const unsigned char*,
                                unsigned long, int);
    auto compress2 = reinterpret_cast<Compress2Fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"zlib1.dll"), "compress2")));
    if (!compress2) return "";
    std::string zeros(size, '\0');
    std::string out(size / 500 + 4096, '\0');
    unsigned long length = static_cast<unsigned long>(out.size());
    if (compress2(reinterpret_cast<unsigned char*>(&out[0]), &length,
                  reinterpret_cast<const unsigned char*>(zeros.data()),
                  static_cast<unsigned long>(zeros.size()), 9) != 0)
        return "";
    out.resize(length);
    return out;
}

}  // namespace

// Inflating into the caller's buffer stops when it is full and never
// writes past it; a stream that fits ends in S_OK with its length.
TEST_F(Zlib, InflatingIntoABufferStopsWhenItIsFull) {
    CQvZlib& z = CQvZlib::Instance();
    const std::string bomb = Bomb(16 << 20);
    ASSERT_FALSE(bomb.empty());
    unsigned char buf[4096 + 16];
    std::memset(buf, 0xAB, sizeof(buf));
    long made = -1;
    EXPECT_EQ(S_FALSE, z.DecodeGZipBufferTo(reinterpret_cast<const unsigned char*>(bomb.data()),
                                            static_cast<long>(bomb.size()), buf, 4096, &made));
    EXPECT_EQ(4096, made);
    EXPECT_EQ(std::string(4096, '\0'), std::string(reinterpret_cast<char*>(buf), 4096));
    EXPECT_EQ(std::string(16, '\xAB'), std::string(reinterpret_cast<char*>(buf) + 4096, 16));

    std::string whole(17000 + 16, '\xCD');
    EXPECT_EQ(S_OK, z.DecodeGZipBufferTo(kGzip, sizeof(kGzip),
                                         reinterpret_cast<unsigned char*>(&whole[0]), 17000,
                                         &made));
    EXPECT_EQ(17000, made);
    EXPECT_EQ(Repeat("qvUninstall gzip ", 1000), whole.substr(0, 17000));
    EXPECT_EQ(std::string(16, '\xCD'), whole.substr(17000));

    // Cut short with room to spare: bad data, whatever came is counted.
    std::string roomy(17100, '\0');
    EXPECT_EQ(E_FAIL, z.DecodeGZipBufferTo(kGzip, sizeof(kGzip) - 1,
                                           reinterpret_cast<unsigned char*>(&roomy[0]), 17100,
                                           &made));
    EXPECT_EQ(17000, made);

    // The allocating form takes the whole 16 MiB in one piece.
    Decoded d = Decode(bomb);
    ASSERT_EQ(S_OK, d.hr);
    EXPECT_EQ(16L << 20, d.size);
    std::free(d.out);
}
