// The program's images: every "IMG" resource is a PNG of the size the code
// that draws it expects, and the art fits the way it is stretched and placed.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);  // 2052

struct ImageSpec {
    const wchar_t* name;  // MAKEINTRESOURCEW(id) or a resource name
    const char* label;
    UINT width, height;
};

const ImageSpec kImages[] = {
    {MAKEINTRESOURCEW(60001), "60001 button normal", 69, 21},
    {MAKEINTRESOURCEW(60002), "60002 button hover", 69, 21},
    {MAKEINTRESOURCEW(60003), "60003 button pressed", 69, 21},
    {MAKEINTRESOURCEW(60004), "60004 button clicked", 69, 21},
    {MAKEINTRESOURCEW(60005), "60005 button disabled", 69, 21},
    {MAKEINTRESOURCEW(60006), "60006 close normal", 38, 18},
    {MAKEINTRESOURCEW(60007), "60007 close hover", 38, 18},
    {MAKEINTRESOURCEW(60008), "60008 close pressed", 38, 18},
    {MAKEINTRESOURCEW(60026), "60026 ink", 279, 23},
    {MAKEINTRESOURCEW(60027), "60027 eraser", 137, 157},
    {MAKEINTRESOURCEW(60036), "60036 check box", 15, 15},
    {MAKEINTRESOURCEW(60037), "60037 check box", 15, 15},
    {MAKEINTRESOURCEW(60038), "60038 check box", 15, 15},
    {MAKEINTRESOURCEW(60039), "60039 check box", 15, 15},
    {MAKEINTRESOURCEW(60051), "60051 dialog background", 186, 150},
    {MAKEINTRESOURCEW(60052), "60052 main background", 437, 141},
    {MAKEINTRESOURCEW(60056), "60056 notice picture", 32, 32},
    {MAKEINTRESOURCEW(60057), "60057 question picture", 32, 32},
    {MAKEINTRESOURCEW(60061), "60061 crash picture", 256, 80},
    {MAKEINTRESOURCEW(60073), "60073 cancel strip", 87, 29},
    {MAKEINTRESOURCEW(60074), "60074 uninstall strip", 87, 29},
    {L"QV_IDB_CLOSE2", "QV_IDB_CLOSE2", 38, 18},
    {L"QV_IDB_CLOSE3", "QV_IDB_CLOSE3", 38, 18},
};

// The resource's bytes, or empty when it is missing.
std::vector<BYTE> ResourceBytes(const wchar_t* type, const wchar_t* name) {
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC res = ::FindResourceExW(self, type, name, kChinese);
    if (!res) return {};
    HGLOBAL loaded = ::LoadResource(self, res);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    DWORD size = ::SizeofResource(self, res);
    if (!data || size == 0) return {};
    const BYTE* p = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(p, p + size);
}

// Decoded image pixels, 0xAARRGGBB, top-down.
struct Decoded {
    bool ok = false;
    bool png = false;
    UINT width = 0, height = 0;
    std::vector<UINT32> px;
    UINT32 at(UINT x, UINT y) const { return px[y * width + x]; }
    BYTE alpha(UINT x, UINT y) const { return static_cast<BYTE>(at(x, y) >> 24); }
};

Decoded Decode(const wchar_t* name) {
    Decoded d;
    std::vector<BYTE> bytes = ResourceBytes(L"IMG", name);
    if (bytes.empty()) return d;
    // GDI+ reads lazily from the stream, so it gets its own copy that lives
    // as long as the stream.
    HGLOBAL mem = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!mem) return d;
    std::memcpy(::GlobalLock(mem), bytes.data(), bytes.size());
    ::GlobalUnlock(mem);
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(mem, TRUE, &stream))) {
        ::GlobalFree(mem);
        return d;
    }
    {
        Gdiplus::Bitmap bmp(stream, FALSE);
        if (bmp.GetLastStatus() == Gdiplus::Ok) {
            GUID format{};
            bmp.GetRawFormat(&format);
            d.png = IsEqualGUID(format, Gdiplus::ImageFormatPNG) != 0;
            d.width = bmp.GetWidth();
            d.height = bmp.GetHeight();
            Gdiplus::Rect all(0, 0, static_cast<INT>(d.width), static_cast<INT>(d.height));
            Gdiplus::BitmapData data{};
            if (d.width && d.height &&
                bmp.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) ==
                    Gdiplus::Ok) {
                d.px.resize(static_cast<size_t>(d.width) * d.height);
                for (UINT y = 0; y < d.height; ++y)
                    std::memcpy(&d.px[y * d.width],
                                static_cast<const BYTE*>(data.Scan0) + y * data.Stride,
                                d.width * 4);
                bmp.UnlockBits(&data);
                d.ok = true;
            }
        }
    }
    stream->Release();
    return d;
}

class Resources : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&token_, &input, nullptr));
    }
    static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(token_); }
    static ULONG_PTR token_;
};
ULONG_PTR Resources::token_ = 0;

Decoded Image(int id) { return Decode(MAKEINTRESOURCEW(id)); }

}  // namespace

TEST_F(Resources, EveryImageIsAPngOfItsSize) {
    for (const ImageSpec& img : kImages) {
        SCOPED_TRACE(img.label);
        Decoded d = Decode(img.name);
        ASSERT_TRUE(d.ok) << "missing or undecodable";
        EXPECT_TRUE(d.png);
        EXPECT_EQ(img.width, d.width);
        EXPECT_EQ(img.height, d.height);
    }
}

namespace {
BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}
}  // namespace

TEST_F(Resources, ImagesAreChineseOnlyAndUnknownOnesAreMissing) {
    // Each image exists once, in language 2052 (a neutral copy would hide a
    // wrong LANGUAGE statement, since look-ups fall back to it).
    HMODULE self = ::GetModuleHandleW(nullptr);
    for (const ImageSpec& img : kImages) {
        std::vector<WORD> languages;
        ::EnumResourceLanguagesW(self, L"IMG", img.name, CollectLanguage,
                                 reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(std::vector<WORD>{kChinese}, languages) << img.label;
    }
    EXPECT_TRUE(ResourceBytes(L"IMG", MAKEINTRESOURCEW(60009)).empty());
    EXPECT_TRUE(ResourceBytes(L"IMG", MAKEINTRESOURCEW(60040)).empty());
}

TEST_F(Resources, IconHoldsSixteenThirtyTwoAndFortyEightPixels) {
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colors, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
    struct GroupHeader {
        WORD reserved, type, count;
    };
#pragma pack(pop)
    std::vector<BYTE> group = ResourceBytes(RT_GROUP_ICON, MAKEINTRESOURCEW(107));
    ASSERT_GE(group.size(), sizeof(GroupHeader));
    const auto* head = reinterpret_cast<const GroupHeader*>(group.data());
    ASSERT_EQ(group.size(), sizeof(GroupHeader) + head->count * sizeof(GroupEntry));
    const auto* entries = reinterpret_cast<const GroupEntry*>(group.data() + sizeof(GroupHeader));
    std::vector<int> sizes;
    for (WORD i = 0; i < head->count; ++i) {
        EXPECT_EQ(entries[i].width, entries[i].height);
        EXPECT_EQ(32, entries[i].bitCount);
        sizes.push_back(entries[i].width);
    }
    EXPECT_EQ((std::vector<int>{16, 32, 48}), sizes);

    // Each size loads as an icon of that size.
    for (int size : {16, 32, 48}) {
        HICON icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr),
                                                     MAKEINTRESOURCEW(107), IMAGE_ICON, size,
                                                     size, LR_DEFAULTCOLOR));
        ASSERT_NE(nullptr, icon) << size;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAP bm{};
        ::GetObjectW(info.hbmColor, sizeof bm, &bm);
        EXPECT_EQ(size, bm.bmWidth);
        EXPECT_EQ(size, bm.bmHeight);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
    }
}

TEST_F(Resources, EraserStandsFreeAndCoversTheEdgeOfTheInk) {
    Decoded eraser = Image(60027);
    ASSERT_TRUE(eraser.ok);
    // Transparent corners: the eraser is drawn over the paper and, lifted,
    // over the clear band above it.
    EXPECT_EQ(0, eraser.alpha(0, 0));
    EXPECT_EQ(0, eraser.alpha(136, 0));
    EXPECT_EQ(0, eraser.alpha(0, 156));
    EXPECT_EQ(0, eraser.alpha(136, 156));

    // Resting (top 30), its worn end hides the ink's cut edge at every step:
    // the ink starts at x 75 + percent * 279 / 100, the eraser at
    // x 60 + percent * 240 / 100, and the stroke's middle is at window y 161.
    Decoded ink = Image(60026);
    ASSERT_TRUE(ink.ok);
    const UINT inkMid = 11;
    for (int percent = 10; percent <= 90; percent += 10) {
        SCOPED_TRACE(percent);
        int cut = percent * 279 / 100;
        int edge = 75 + cut - (60 + percent * 240 / 100);
        ASSERT_GT(ink.alpha(cut, inkMid), 100) << "no ink at the cut";
        EXPECT_GT(eraser.alpha(edge, 150 + inkMid - 30), 200) << "ink edge shows beside the eraser";
    }
}

TEST_F(Resources, InkIsAStrokeOnClearGround) {
    Decoded ink = Image(60026);
    ASSERT_TRUE(ink.ok);
    EXPECT_EQ(0, ink.alpha(0, 0));
    EXPECT_EQ(0, ink.alpha(278, 22));
    int opaque = 0;
    for (UINT x = 0; x < ink.width; ++x) opaque += ink.alpha(x, 11) > 128;
    EXPECT_GT(opaque, 250);  // ink along nearly the whole strip
}

TEST_F(Resources, MainBackgroundIsOpaqueUnderTextButtonsAndInk) {
    // Drawn at (0, 89) in a layered window: text and buttons need solid
    // paper behind them (the question at (35,146) 210x30, the buttons up to
    // x 393, the ink from y 150 to 173).
    Decoded bg = Image(60052);
    ASSERT_TRUE(bg.ok);
    for (UINT y = 146 - 89; y < 177 - 89; ++y)
        for (UINT x = 35; x < 393; ++x)
            ASSERT_EQ(255, bg.alpha(x, y)) << x << "," << y;
}

TEST_F(Resources, ButtonStripsStretchCleanly) {
    // Main dialog buttons: three 29-pixel frames, each stretched to 68
    // pixels keeping 8 columns at each side, so the middle columns must be
    // alike; the frames must differ so hover and press show.
    for (int id : {60073, 60074}) {
        SCOPED_TRACE(id);
        Decoded b = Image(id);
        ASSERT_TRUE(b.ok);
        ASSERT_EQ(0u, b.width % 3);
        const UINT frame = b.width / 3;
        for (UINT f = 0; f < 3; ++f)
            for (UINT y = 0; y < b.height; ++y)
                for (UINT x = f * frame + 8; x < (f + 1) * frame - 8; ++x)
                    ASSERT_EQ(b.at(f * frame + 8, y), b.at(x, y)) << "frame " << f << " " << x << "," << y;
        const UINT mid = frame / 2, row = b.height / 2;
        EXPECT_NE(b.at(mid, row), b.at(frame + mid, row));
        EXPECT_NE(b.at(mid, row), b.at(2 * frame + mid, row));
        EXPECT_NE(b.at(frame + mid, row), b.at(2 * frame + mid, row));
        EXPECT_EQ(255, b.alpha(mid, row));
    }
}

TEST_F(Resources, DialogBackgroundStretchesCleanly) {
    // Stretched keeping 3 columns at each side and 30 rows at top and
    // bottom: the middle must be one flat colour and the band must differ
    // from the body.
    Decoded bg = Image(60051);
    ASSERT_TRUE(bg.ok);
    const UINT32 body = bg.at(3, 30);
    for (UINT y = 30; y < 120; ++y)
        for (UINT x = 3; x < 183; ++x) ASSERT_EQ(body, bg.at(x, y)) << x << "," << y;
    for (UINT y = 0; y < 30; ++y)
        for (UINT x = 3; x < 183; ++x) ASSERT_EQ(bg.at(3, y), bg.at(x, y)) << x << "," << y;
    const UINT32 band = bg.at(90, 15);
    EXPECT_GT(band & 0xFF, (band >> 16) & 0xFF) << "title band is blue";
    EXPECT_EQ(255, bg.alpha(90, 15));
    EXPECT_EQ(255, bg.alpha(90, 75));
}
