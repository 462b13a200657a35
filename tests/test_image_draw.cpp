// Image drawing into a 32-bit DIB, read back pixel by pixel.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/ImageFixtures.h"
#include "support/TestUtil.h"
#include "ui/QvImage.h"

using namespace qvtest;

namespace {

CQvImage& Img() {
    return CQvImage::Instance();
}

// Four 10 × 8 slices: red, green, blue, yellow.
std::vector<BYTE> FourSlices() {
    return MakeStrip(10, 8, {kRed, kGreen, kBlue, kYellow});
}

bool Near(DWORD a, DWORD b, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        int ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        if (std::abs(ca - cb) > tolerance) return false;
    }
    return true;
}

}  // namespace

TEST(DrawStretchImg, SliceIndexIsClampedAndCountZeroMeansWholeImage) {
    qv::ComPtr<IStream> s(NewStream(FourSlices()));
    Canvas c(60, 20);
    ASSERT_TRUE(Img().DrawStretchImg(c.dc(), s.get(), 0, 0, 0, 0, 0, 4, 7, 0));
    EXPECT_EQ(kYellow & 0xFFFFFF, c.rgb(5, 4));
    EXPECT_EQ(0u, c.at(12, 4)) << "only one 10-pixel slice is drawn";

    c.Fill(0);
    s.reset(NewStream(FourSlices()));
    ASSERT_TRUE(Img().DrawStretchImg(c.dc(), s.get(), 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(kRed & 0xFFFFFF, c.rgb(5, 4));
    EXPECT_EQ(kYellow & 0xFFFFFF, c.rgb(35, 4)) << "count 0 draws the whole strip";
    EXPECT_EQ(0u, c.at(45, 4));
}

TEST(DrawStretchImg, LeftoverColumnsOfAnUnevenStripAreNeverDrawn) {
    // 150 pixels in 4 slices of 37: the last two columns are magenta.
    auto png = MakePng(150, 6, [](int x, int) { return x >= 148 ? kMagenta : kGrey; });
    qv::ComPtr<IStream> s(NewStream(png));
    Gdiplus::Image img(s.get(), FALSE);
    Canvas c(200, 20);
    ASSERT_TRUE(Img().DrawStretchImg(c.dc(), &img, 0, 0, 0, 0, 0, 4, 3, 0));
    EXPECT_EQ(kGrey & 0xFFFFFF, c.rgb(36, 3));
    EXPECT_EQ(0u, c.at(37, 3)) << "a slice is 37 pixels wide";
    // Stretched wide, the slice still shows none of the leftover columns.
    ASSERT_TRUE(Img().DrawStretchImg(c.dc(), &img, 0, 10, 200, 10, 0, 4, 3, 0));
    for (int x = 0; x < 200; ++x) ASSERT_NE(kMagenta & 0xFFFFFF, c.rgb(x, 15)) << x;
}

TEST(DrawStretchImg, ZeroWidthOrHeightDrawsTheSliceAtItsNaturalSize) {
    auto png = FourSlices();
    for (auto [w, h] : {std::pair{0, 30}, std::pair{30, 0}}) {
        qv::ComPtr<IStream> s(NewStream(png));
        Canvas c(60, 40);
        // With edges too: the caps must not be pulled apart.
        ASSERT_TRUE(Img().DrawStretchImg(c.dc(), s.get(), 5, 5, w, h, 2, 4, 1, 0));
        EXPECT_EQ(kGreen & 0xFFFFFF, c.rgb(5, 5));
        EXPECT_EQ(kGreen & 0xFFFFFF, c.rgb(14, 12));
        EXPECT_EQ(0u, c.at(15, 12));
        EXPECT_EQ(0u, c.at(10, 13));
        EXPECT_EQ(0u, c.at(3, 8));
    }
}

TEST(DrawStretchImg, ThreeColumnsKeepTheCapsAndStretchTheMiddle) {
    // 12 × 6: caps of 3 columns, red on the left, blue on the right.
    auto png = MakePng(12, 6, [](int x, int) { return x < 3 ? kRed : x >= 9 ? kBlue : kGreen; });
    qv::ComPtr<IStream> s(NewStream(png));
    Canvas c(70, 10);
    ASSERT_TRUE(Img().DrawStretchImg(c.dc(), s.get(), 0, 0, 60, 6, 3, 1, 0, 0));
    EXPECT_EQ(kRed & 0xFFFFFF, c.rgb(0, 0));
    EXPECT_EQ(kRed & 0xFFFFFF, c.rgb(2, 5));
    EXPECT_EQ(kGreen & 0xFFFFFF, c.rgb(3, 3));
    EXPECT_EQ(kGreen & 0xFFFFFF, c.rgb(56, 3));
    EXPECT_EQ(kBlue & 0xFFFFFF, c.rgb(57, 0));
    EXPECT_EQ(kBlue & 0xFFFFFF, c.rgb(59, 5));
    EXPECT_EQ(0u, c.at(60, 3));
    EXPECT_EQ(0u, c.at(30, 6));
}

TEST(DrawStretchImg, NinePartsKeepCornersAndStretchEdgesOneWay) {
    // 12 × 12 with 3-pixel corners in four colours, grey edges, black centre.
    auto png = MakePng(12, 12, [](int x, int y) {
        bool l = x < 3, r = x >= 9, t = y < 3, b = y >= 9;
        if (l && t) return kRed;
        if (r && t) return kGreen;
        if (l && b) return kBlue;
        if (r && b) return kYellow;
        if (l || r || t || b) return kGrey;
        return kBlack;
    });
    qv::ComPtr<IStream> s(NewStream(png));
    Canvas c(60, 50);
    ASSERT_TRUE(Img().DrawStretchImg(c.dc(), s.get(), 5, 5, 50, 40, 3, 1, 0, 3));
    EXPECT_EQ(kRed & 0xFFFFFF, c.rgb(5, 5));
    EXPECT_EQ(kRed & 0xFFFFFF, c.rgb(7, 7));
    EXPECT_EQ(kGreen & 0xFFFFFF, c.rgb(52, 5));
    EXPECT_EQ(kGreen & 0xFFFFFF, c.rgb(54, 7));
    EXPECT_EQ(kBlue & 0xFFFFFF, c.rgb(5, 42));
    EXPECT_EQ(kBlue & 0xFFFFFF, c.rgb(7, 44));
    EXPECT_EQ(kYellow & 0xFFFFFF, c.rgb(54, 44));
    EXPECT_EQ(kGrey & 0xFFFFFF, c.rgb(30, 6)) << "top edge";
    EXPECT_EQ(kGrey & 0xFFFFFF, c.rgb(6, 25)) << "left edge";
    EXPECT_EQ(kBlack & 0xFFFFFF, c.rgb(30, 25)) << "centre";
    EXPECT_EQ(0u, c.at(55, 25));
    EXPECT_EQ(0u, c.at(30, 45));
}

TEST(DrawStretchImg, VerticalEdgeAloneStretchesOnlyTheMiddleBand) {
    auto png = MakePng(8, 12, [](int, int y) { return y < 4 ? kRed : y >= 8 ? kBlue : kGreen; });
    qv::ComPtr<IStream> s(NewStream(png));
    Canvas c(20, 40);
    ASSERT_TRUE(Img().DrawStretchImg(c.dc(), s.get(), 0, 0, 16, 36, 0, 1, 0, 4));
    EXPECT_EQ(kRed & 0xFFFFFF, c.rgb(15, 3));
    EXPECT_EQ(kGreen & 0xFFFFFF, c.rgb(8, 4));
    EXPECT_EQ(kGreen & 0xFFFFFF, c.rgb(8, 31));
    EXPECT_EQ(kBlue & 0xFFFFFF, c.rgb(0, 32));
    EXPECT_EQ(kBlue & 0xFFFFFF, c.rgb(15, 35));
    EXPECT_EQ(0u, c.at(16, 20));
}

TEST(DrawRotate, NinetyDegreesTurnsAboutTheCentreOfTheRectangle) {
    // 40 × 20, red left half, blue right half: turned clockwise about
    // (20, 10), red ends above blue in a 20 × 40 upright block.
    auto png = MakePng(40, 20, [](int x, int) { return x < 20 ? kRed : kBlue; });
    qv::ComPtr<IStream> s(NewStream(png));
    Canvas c(60, 60);
    ASSERT_TRUE(Img().DrawRotate(c.dc(), s.get(), 90, 0, 0, 40, 20));
    EXPECT_EQ(kRed & 0xFFFFFF, c.rgb(20, 3));
    EXPECT_EQ(kBlue & 0xFFFFFF, c.rgb(20, 17));
    EXPECT_EQ(kBlue & 0xFFFFFF, c.rgb(12, 27));
    EXPECT_EQ(0u, c.at(5, 10)) << "the old left end is empty now";
    EXPECT_EQ(0u, c.at(35, 10));
    EXPECT_EQ(0u, c.at(20, 35));
}

TEST(DrawImgEx, HalfAlphaBlendsAndChannelFactorsTint) {
    auto png = MakePng(10, 10, [](int, int) { return 0xFFC86432; });  // (200, 100, 50)
    Canvas c(30, 10, kWhite);
    qv::ComPtr<IStream> s(NewStream(png));
    ASSERT_TRUE(Img().DrawImgEx(c.dc(), s.get(), 1, 1, 1, 0.5f, 0, 0, 10, 10));
    EXPECT_TRUE(Near(c.rgb(5, 5), 0xE3B298, 3)) << std::hex << c.rgb(5, 5);
    s.reset(NewStream(png));
    ASSERT_TRUE(Img().DrawImgEx(c.dc(), s.get(), 0, 1, 1, 1, 10, 0, 10, 10));
    EXPECT_TRUE(Near(c.rgb(15, 5), 0x006432, 1)) << std::hex << c.rgb(15, 5);
    s.reset(NewStream(png));
    ASSERT_TRUE(Img().DrawImgEx(c.dc(), s.get(), 1, 1, 1, 1, 20, 0, 10, 10));
    EXPECT_EQ(0xC86432u, c.rgb(25, 5)) << "factors of 1 change nothing";
}

TEST(DrawTranImg, PixelsBetweenTheKeysBecomeTransparent) {
    auto png = MakePng(10, 10, [](int x, int) { return x < 5 ? kMagenta : kBlue; });
    qv::ComPtr<IStream> s(NewStream(png));
    Canvas c(10, 10, kWhite);
    ASSERT_TRUE(Img().DrawTranImg(c.dc(), s.get(), 0xFFFF10FF, 0xFFF000F0, 0, 0, 10, 10));
    EXPECT_EQ(kWhite & 0xFFFFFF, c.rgb(2, 5));
    EXPECT_EQ(kBlue & 0xFFFFFF, c.rgb(7, 5));
}

TEST(DrawRotateFlip, FlipsBeforeDrawing) {
    auto png = MakePng(10, 4, [](int x, int) { return x < 5 ? kRed : kBlue; });
    qv::ComPtr<IStream> s(NewStream(png));
    Canvas c(10, 4);
    ASSERT_TRUE(Img().DrawRotateFlip(c.dc(), s.get(), 0, 0, 0, 0, Gdiplus::RotateNoneFlipX, 1));
    EXPECT_EQ(kBlue & 0xFFFFFF, c.rgb(1, 1));
    EXPECT_EQ(kRed & 0xFFFFFF, c.rgb(8, 1));
}

TEST(DrawRotate3D, MapsCornersOntoThePoints) {
    auto png = MakePng(10, 10, [](int, int) { return kGreen; });
    qv::ComPtr<IStream> s(NewStream(png));
    Canvas c(40, 40);
    // Squashed to half its width at (20, 0).
    Img().DrawRotate3D(c.dc(), s.get(), 20, 0, 25, 0, 20, 10);
    EXPECT_EQ(kGreen & 0xFFFFFF, c.rgb(22, 5));
    EXPECT_EQ(0u, c.at(27, 5));
    EXPECT_EQ(0u, c.at(10, 5));
    Img().DrawRotate3D(c.dc(), static_cast<IStream*>(nullptr), 0, 0, 10, 0, 0, 10);
}

TEST(DrawImg, SourcesAgreeAndFailuresDrawNothing) {
    TempDir dir;
    auto png = FourSlices();
    ASSERT_TRUE(WriteBytes(dir / L"strip.png", png));
    ResourceModule res(dir, {{4711, png}});
    ASSERT_TRUE(res.ok());
    Img().SetInst(res.module());

    RECT part{10, 0, 20, 8};  // the green slice
    Canvas c(60, 40);
    qv::ComPtr<IStream> s(NewStream(png));
    EXPECT_TRUE(Img().DrawImg(c.dc(), s.get(), 0, 0, 0, 0, &part));
    EXPECT_TRUE(Img().DrawImg(c.dc(), (dir / L"strip.png").c_str(), 0, 10, 20, 8, &part));
    EXPECT_TRUE(Img().DrawImg(c.dc(), 4711, L"IMG", 0, 20, 0, 0));
    EXPECT_EQ(kGreen & 0xFFFFFF, c.rgb(5, 4));
    EXPECT_EQ(0u, c.at(12, 4));
    EXPECT_EQ(kGreen & 0xFFFFFF, c.rgb(18, 14)) << "stretched to 20 wide";
    EXPECT_EQ(kYellow & 0xFFFFFF, c.rgb(35, 24)) << "whole image at its size";

    int w = -1, h = -1;
    EXPECT_TRUE(Img().GetImgSize(4711, w, h));
    EXPECT_EQ(40, w);
    EXPECT_EQ(8, h);
    EXPECT_TRUE(Img().GetImgSize((dir / L"strip.png").c_str(), w, h));
    EXPECT_EQ(40, w);
    EXPECT_TRUE(Img().CheckImage((dir / L"strip.png").c_str()));

    // Missing or undecodable images: nothing drawn, size 0, never a fault.
    Canvas e(20, 20);
    ASSERT_TRUE(WriteBytes(dir / L"junk.png", {'n', 'o', 't', ' ', 'p', 'n', 'g'}));
    EXPECT_FALSE(Img().DrawImg(e.dc(), 4712, L"IMG", 0, 0, 0, 0));
    EXPECT_FALSE(Img().DrawStretchImg(e.dc(), 4712, L"IMG", 0, 0, 10, 10, 2, 3, 1, 2));
    EXPECT_FALSE(Img().DrawImg(e.dc(), (dir / L"none.png").c_str(), 0, 0, 0, 0));
    EXPECT_FALSE(Img().DrawImg(e.dc(), (dir / L"junk.png").c_str(), 0, 0, 0, 0));
    EXPECT_FALSE(Img().DrawImgEx(e.dc(), static_cast<IStream*>(nullptr), 1, 1, 1, 1, 0, 0, 5, 5));
    EXPECT_FALSE(Img().CheckImage((dir / L"junk.png").c_str()));
    EXPECT_TRUE(Img().GetImgSize(4712, w, h));
    EXPECT_EQ(0, w);
    EXPECT_EQ(0, h);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(0u, e.at(x, y));

    // A null DC draws nothing and says so, whatever the source.
    EXPECT_FALSE(Img().DrawImg(nullptr, 4711, L"IMG", 0, 0, 0, 0));
    EXPECT_FALSE(Img().DrawStretchImg(nullptr, 4711, L"IMG", 0, 0, 0, 0, 0, 1, 0, 0));
    EXPECT_FALSE(Img().DrawRotate(nullptr, 4711, L"IMG", 90, 0, 0, 0, 0));
    EXPECT_FALSE(Img().DrawImgEx(nullptr, 4711, L"IMG", 1, 1, 1, 1, 0, 0, 0, 0));
    EXPECT_FALSE(Img().DrawTranImg(nullptr, 4711, L"IMG", 0, 0, 0, 0, 0, 0));
    EXPECT_FALSE(Img().DrawRotateFlip(nullptr, 4711, L"IMG", 0, 0, 0, 0,
                                      Gdiplus::RotateNoneFlipNone, 1));
    Img().SetInst(nullptr);
}

TEST(DrawString, ZeroWidthCentresOnThePointAndRectanglesAlignLeft) {
    HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    auto inkSpan = [](const Canvas& c, int& minX, int& maxX) {
        minX = c.width();
        maxX = -1;
        for (int y = 0; y < c.height(); ++y)
            for (int x = 0; x < c.width(); ++x)
                if ((c.rgb(x, y) & 0xFF) < 0x80) {  // dark where blue is low
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                }
    };
    Canvas c(200, 40, kWhite);
    Img().DrawString(c.dc(), font, L"MMMMMM", 100, 20, 0, 0, RGB(0, 0, 0), 254, true, true, 0);
    int minX, maxX;
    inkSpan(c, minX, maxX);
    ASSERT_LT(minX, 100);
    ASSERT_GT(maxX, 100);
    EXPECT_LE(std::abs((100 - minX) - (maxX - 100)), 4) << minX << ".." << maxX;

    Canvas l(200, 40, kWhite);
    Img().DrawString(l.dc(), font, L"MMMMMM", 50, 0, 150, 40, RGB(0, 0, 0), 254, false, true, 0);
    inkSpan(l, minX, maxX);
    EXPECT_GE(minX, 50);
    EXPECT_LE(minX, 54);

    Canvas none(50, 20, kWhite);
    Img().DrawString(none.dc(), font, L"", 0, 0, 50, 20, 0, 254, true, true, 0);
    Img().DrawString(nullptr, font, L"x", 0, 0, 50, 20, 0, 254, true, true, 0);
    inkSpan(none, minX, maxX);
    EXPECT_EQ(-1, maxX);
}

TEST(ProgramImages, EveryNumberedImageLoadsAtItsSize) {
    struct {
        int id, w, h;
    } const images[] = {{60001, 69, 21}, {60002, 69, 21},   {60003, 69, 21},  {60004, 69, 21},
                        {60005, 69, 21}, {60006, 38, 18},   {60026, 279, 23}, {60027, 137, 157},
                        {60051, 186, 150}, {60052, 437, 141}, {60056, 32, 32},  {60057, 32, 32},
                        {60061, 256, 80}, {60073, 87, 29},  {60074, 87, 29}};
    Img().SetInst(nullptr);
    for (const auto& img : images) {
        int w = 0, h = 0;
        EXPECT_TRUE(Img().GetImgSize(img.id, w, h));
        EXPECT_EQ(img.w, w) << img.id;
        EXPECT_EQ(img.h, h) << img.id;
    }
    // The main dialog's button strip, three frames side by side, stretched
    // to the button's size with 8-pixel caps, paints its whole rectangle.
    Canvas c(80, 40);
    ASSERT_TRUE(Img().DrawStretchImg(c.dc(), 60074, L"IMG", 0, 0, 68, 29, 8, 3, 1, 2));
    EXPECT_NE(0u, c.at(34, 14) >> 24);
    EXPECT_EQ(0u, c.at(70, 14));
}
