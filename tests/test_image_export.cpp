// Encoders, saving bitmaps, DCs, windows and the screen, and resizing
// image files.
#include <gtest/gtest.h>

#include <cstring>

#include "support/ImageFixtures.h"
#include "support/TestUtil.h"
#include "ui/QvImage.h"

using namespace qvtest;

namespace {

CQvImage& Img() {
    return CQvImage::Instance();
}

struct Decoded {
    int w = 0, h = 0;
    DWORD topLeft = 0;
};

Decoded Decode(const std::wstring& path) {
    Decoded d;
    auto bytes = ReadBytes(path);
    if (bytes.empty()) return d;
    qv::ComPtr<IStream> s(NewStream(bytes));
    Gdiplus::Bitmap bmp(s.get(), FALSE);
    if (bmp.GetLastStatus() != Gdiplus::Ok) return d;
    d.w = static_cast<int>(bmp.GetWidth());
    d.h = static_cast<int>(bmp.GetHeight());
    Gdiplus::Color c;
    bmp.GetPixel(0, 0, &c);
    d.topLeft = c.GetValue() & 0xFFFFFF;
    return d;
}

bool StartsWith(const std::vector<BYTE>& bytes, const char* magic) {
    size_t n = std::strlen(magic);
    return bytes.size() >= n && std::memcmp(bytes.data(), magic, n) == 0;
}

}  // namespace

TEST(Encoders, MimeTypesMatchExactly) {
    GUID png{}, none{};
    EXPECT_GE(Img().GetEncoderClsid(L"image/png", &png), 0);
    EXPECT_GE(Img().GetEncoderClsid(L"image/jpeg", &none), 0);
    EXPECT_NE(0, std::memcmp(&png, &none, sizeof png));
    EXPECT_EQ(-1, Img().GetEncoderClsid(L"image/PNG", &none));
    EXPECT_EQ(-1, Img().GetEncoderClsid(L"image/none", &none));
    EXPECT_EQ(-1, Img().GetEncoderClsid(nullptr, &none));
}

TEST(Zoom, PercentAndOneSidedSizesKeepTheAspect) {
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"a.png", MakePng(101, 51, [](int, int) { return kRed; })));
    ASSERT_TRUE(Img().Zoom((dir / L"a.png").c_str(), 50, 999, 999, (dir / L"half.png").c_str(),
                           L"png"));
    Decoded half = Decode(dir / L"half.png");
    EXPECT_EQ(50, half.w);
    EXPECT_EQ(25, half.h);
    EXPECT_EQ(kRed & 0xFFFFFF, half.topLeft);

    ASSERT_TRUE(WriteBytes(dir / L"b.png", MakePng(200, 400, [](int, int) { return kBlue; })));
    ASSERT_TRUE(Img().Zoom((dir / L"b.png").c_str(), 0, 0, 100, (dir / L"h.png").c_str(), L"png"));
    Decoded h = Decode(dir / L"h.png");
    EXPECT_EQ(50, h.w);
    EXPECT_EQ(100, h.h);
    ASSERT_TRUE(Img().Zoom((dir / L"b.png").c_str(), 0, 20, 0, (dir / L"w.png").c_str(), L"png"));
    EXPECT_EQ(40, Decode(dir / L"w.png").h);
    ASSERT_TRUE(Img().Zoom((dir / L"b.png").c_str(), 0, 30, 7, (dir / L"both.png").c_str(),
                           L"png"));
    Decoded both = Decode(dir / L"both.png");
    EXPECT_EQ(30, both.w);
    EXPECT_EQ(7, both.h);

    // Nothing to scale from, or to: nothing written, and said so.
    EXPECT_FALSE(Img().Zoom((dir / L"none.png").c_str(), 50, 0, 0, (dir / L"x.png").c_str(),
                            L"png"));
    EXPECT_FALSE(Img().Zoom((dir / L"b.png").c_str(), 0, 0, 0, (dir / L"y.png").c_str(), L"png"));
    EXPECT_FALSE(FileExists(dir / L"x.png"));
    EXPECT_FALSE(FileExists(dir / L"y.png"));
}

TEST(Zoom, WithoutATargetResizesTheFileInPlaceAsJpeg) {
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"p.png", MakePng(64, 32, [](int, int) { return kGreen; })));
    ASSERT_TRUE(Img().Zoom((dir / L"p.png").c_str(), 25, 0, 0, nullptr, nullptr));
    EXPECT_TRUE(StartsWith(ReadBytes(dir / L"p.png"), "\xFF\xD8"));
    Decoded d = Decode(dir / L"p.png");
    EXPECT_EQ(16, d.w);
    EXPECT_EQ(8, d.h);
}

TEST(SavePic, ConvertsFilesEvenOntoThemselves) {
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"p.png", MakePng(9, 5, [](int, int) { return kYellow; })));
    ASSERT_TRUE(Img().SavePic((dir / L"p.png").c_str(), (dir / L"p.bmp").c_str(), L"bmp"));
    EXPECT_TRUE(StartsWith(ReadBytes(dir / L"p.bmp"), "BM"));
    EXPECT_EQ(9, Decode(dir / L"p.bmp").w);
    ASSERT_TRUE(Img().SavePic((dir / L"p.png").c_str(), (dir / L"p.png").c_str(), L"gif"));
    EXPECT_TRUE(StartsWith(ReadBytes(dir / L"p.png"), "GIF"));
    EXPECT_FALSE(Img().SavePic((dir / L"p.bmp").c_str(), (dir / L"q").c_str(), L"nope"));
    EXPECT_FALSE(FileExists(dir / L"q"));
}

TEST(SavePic, DcRectangleSavesItsOwnArea) {
    TempDir dir;
    Canvas c(50, 40, kWhite);
    for (int y = 5; y < 25; ++y)
        for (int x = 10; x < 30; ++x) c.Set(x, y, kBlue);
    c.Set(10, 5, kRed);
    RECT r{10, 5, 30, 25};
    ASSERT_TRUE(Img().SavePic(c.dc(), r, (dir / L"part.png").c_str(), L"png"));
    Decoded d = Decode(dir / L"part.png");
    EXPECT_EQ(20, d.w);
    EXPECT_EQ(20, d.h);
    EXPECT_EQ(kRed & 0xFFFFFF, d.topLeft);
    RECT empty{10, 5, 10, 25};
    EXPECT_FALSE(Img().SavePic(c.dc(), empty, (dir / L"e.png").c_str(), L"png"));
}

TEST(SavePic, WindowSavesItsClientArea) {
    TempDir dir;
    HWND wnd = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE | WS_BORDER, 10, 10,
                                 122, 82, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(wnd);
    ASSERT_TRUE(qvtest::WaitPainted(wnd));
    RECT client{};
    ::GetClientRect(wnd, &client);
    ASSERT_TRUE(Img().SavePic(wnd, (dir / L"w.png").c_str(), L"png"));
    Decoded d = Decode(dir / L"w.png");
    EXPECT_EQ(client.right, d.w);
    EXPECT_EQ(client.bottom, d.h);
    ::DestroyWindow(wnd);
}

TEST(SaveScreen, SavesThePrimaryScreen) {
    TempDir dir;
    ASSERT_TRUE(Img().SaveScreen((dir / L"s.png").c_str(), L"png"));
    Decoded d = Decode(dir / L"s.png");
    EXPECT_EQ(::GetSystemMetrics(SM_CXSCREEN), d.w);
    EXPECT_EQ(::GetSystemMetrics(SM_CYSCREEN), d.h);
}

TEST(BmToStream, WritesTheBitmapAtTheStreamsPosition) {
    Canvas c(16, 8, kRed);
    qv::ComPtr<IStream> s;
    ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, s.put()));
    ULONG written = 0;
    s->Write("HEAD", 4, &written);
    ASSERT_TRUE(Img().BmToStream(c.bitmap(), s.get(), L"bmp"));
    std::vector<BYTE> all = StreamBytes(s.get());
    ASSERT_GT(all.size(), 4u + 54u + 16 * 8 * 3);
    EXPECT_EQ(0, std::memcmp(all.data(), "HEADBM", 6));
    EXPECT_FALSE(Img().BmToStream(c.bitmap(), s.get(), L"none"));
    EXPECT_FALSE(Img().BmToStream(nullptr, s.get(), L"bmp"));
}
