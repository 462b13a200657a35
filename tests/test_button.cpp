// The image button: mouse state machine, image choice, repaint into the
// dialog's layers.
#include <gtest/gtest.h>

#include "base/QvUtil.h"
#include "support/ImageFixtures.h"
#include "support/TestUtil.h"
#include "ui/QvButton.h"
#include "ui/QvImage.h"
#include "ui/QvSkin.h"

using namespace qvtest;

namespace {

constexpr int kStates = 9100;  // 9100..9103: one solid image per state
constexpr int kStrip3 = 9200;  // three frames: red, green, blue
constexpr int kStrip4 = 9300;  // four frames: red, green, blue, yellow
const DWORD kStateColors[] = {kCyan, kMagenta, kGrey, kYellow};

std::vector<BYTE> Solid(DWORD color) {
    return MakePng(12, 8, [=](int, int) { return color; });
}

// The button images live in a copy of this program that the drawing
// service reads its resources from.
struct Images {
    TempDir dir{L"qvbtn"};
    ResourceModule module{dir,
                          {{kStates + 0, Solid(kStateColors[0])},
                           {kStates + 1, Solid(kStateColors[1])},
                           {kStates + 2, Solid(kStateColors[2])},
                           {kStates + 3, Solid(kStateColors[3])},
                           {kStrip3, MakeStrip(12, 8, {kRed, kGreen, kBlue})},
                           {kStrip4, MakeStrip(12, 8, {kRed, kGreen, kBlue, kYellow})}}};
};

Images& TheImages() {
    static Images images;
    CQvImage::Instance().SetInst(images.module.module());
    return images;
}

DWORD Rgb(DWORD argb) {
    return argb & 0xFFFFFF;
}

// A plain top-level window for the buttons to draw on, and the dialog's two
// layers as canvases.
struct Stage {
    Stage() {
        wnd = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                nullptr, nullptr);
    }
    ~Stage() { ::DestroyWindow(wnd); }
    void Attach(CQvButton& b, bool layered) {
        b.ownerWnd = wnd;
        b.bgDC = bg.dc();
        b.cacheDC = cache.dc();
        b.layeredMode = layered;
    }
    HWND wnd;
    Canvas bg{200, 100, kWhite};
    Canvas cache{200, 100, kBlack};
};

// A 3-frame strip button at (20, 10), 30 × 12, on the stage.
void StripButton(CQvButton& b, Stage& stage, int id, int frames) {
    TheImages();
    b.Init(nullptr, 20, 10, 30, 12, 0, frames, nullptr, nullptr);
    b.imageId = id;
    b.stateImages = 1;
    stage.Attach(b, true);
}

int downs = 0, clicks = 0;
void OnDown(void* target) {
    ++downs;
    *static_cast<int*>(target) += 1;
}
void OnClick(void* target) {
    ++clicks;
    *static_cast<int*>(target) += 100;
}

}  // namespace

TEST(Button, ConstructorsSetTheirDefaults) {
    CQvButton plain;
    EXPECT_EQ(60001, plain.imageId);
    EXPECT_EQ(1, plain.frames);
    EXPECT_EQ(2, plain.splitH);
    EXPECT_EQ(2, plain.splitV);
    EXPECT_EQ(L"IMG", plain.resType);
    EXPECT_EQ(L"button", plain.imageBase);
    EXPECT_EQ(L".png", plain.imageExt);
    EXPECT_EQ(4, plain.stateImages);
    EXPECT_TRUE(plain.enabled);
    EXPECT_EQ(0, plain.width);

    CQvButton captioned(L"取 消", 77);
    EXPECT_EQ(L"取 消", captioned.caption);
    EXPECT_EQ(77, captioned.x);
    EXPECT_EQ(148, captioned.y);
    // The default skin's button, as a product draws it without further ado.
    EXPECT_EQ(69, captioned.width);
    EXPECT_EQ(21, captioned.height);
    EXPECT_EQ(1, captioned.frames);
    EXPECT_EQ(2, captioned.splitH);
    EXPECT_EQ(4, captioned.stateImages);
    EXPECT_FALSE(captioned.pressed);
    EXPECT_EQ(plain.textOffsetY, captioned.textOffsetY);
    EXPECT_EQ(0, captioned.imageSource);

    captioned.pressed = true;
    captioned.Init(nullptr, 1, 2, 3, 4, 5, 6, nullptr, L"C:\\x.png");
    EXPECT_TRUE(captioned.caption.empty());
    EXPECT_TRUE(captioned.pressed) << "Init leaves pressed alone";
    EXPECT_EQ(3, captioned.imageSource);
    EXPECT_EQ(L"C:\\x.png", captioned.imagePath);
}

TEST(Button, MouseStateMachineRepaintsAndCallsBack) {
    Stage stage;
    CQvButton b;
    StripButton(b, stage, kStrip3, 3);
    int target = 0;
    b.onDown = OnDown;
    b.onClick = OnClick;

    EXPECT_TRUE(b.OnMouse(25, 15, QV_MOUSE_MOVE, &target));
    EXPECT_EQ(1, b.state);
    EXPECT_EQ(Rgb(kGreen), stage.cache.rgb(35, 15)) << "hover frame repainted into the frame";
    EXPECT_TRUE(b.OnMouse(20, 10, QV_MOUSE_LDOWN, &target)) << "edges are inside";
    EXPECT_EQ(2, b.state);
    EXPECT_TRUE(b.pressed);
    EXPECT_EQ(1, target);
    EXPECT_EQ(Rgb(kBlue), stage.cache.rgb(35, 15));
    EXPECT_TRUE(b.OnMouse(50, 22, QV_MOUSE_LUP, &target));
    EXPECT_EQ(1, b.state);
    EXPECT_FALSE(b.pressed);
    EXPECT_EQ(101, target);
    EXPECT_EQ(Rgb(kGreen), stage.cache.rgb(35, 15));

    // A release without a press inside is no click.
    EXPECT_TRUE(b.OnMouse(30, 15, QV_MOUSE_LUP, &target));
    EXPECT_EQ(101, target);
    EXPECT_EQ(1, b.state);

    // Outside: back to normal, not handled.
    EXPECT_FALSE(b.OnMouse(51, 15, QV_MOUSE_MOVE, &target));
    EXPECT_EQ(0, b.state);
    EXPECT_EQ(Rgb(kRed), stage.cache.rgb(35, 15));
    EXPECT_FALSE(b.OnMouse(65535, 0, QV_MOUSE_MOVE, &target));

    // Press inside, release outside: no click, the press is remembered and
    // the next release inside clicks.
    b.OnMouse(30, 15, QV_MOUSE_LDOWN, &target);
    EXPECT_FALSE(b.OnMouse(100, 80, QV_MOUSE_LUP, &target));
    EXPECT_EQ(0, b.state);
    EXPECT_TRUE(b.pressed);
    EXPECT_EQ(102, target);
    b.OnMouse(30, 15, QV_MOUSE_LUP, &target);
    EXPECT_EQ(202, target);

    // Right button up inside is handled and changes nothing.
    EXPECT_TRUE(b.OnMouse(30, 15, QV_MOUSE_RUP, &target));
    EXPECT_EQ(1, b.state);
}

TEST(Button, ClickCallbackSeesTheRepaintedButton) {
    Stage stage;
    CQvButton b;
    StripButton(b, stage, kStrip3, 3);
    static Stage* seen;
    static DWORD colorInCallback;
    seen = &stage;
    colorInCallback = 0;
    b.onClick = [](void*) { colorInCallback = seen->cache.rgb(35, 15); };
    b.OnMouse(30, 15, QV_MOUSE_LDOWN, nullptr);
    b.OnMouse(30, 15, QV_MOUSE_LUP, nullptr);
    EXPECT_EQ(Rgb(kGreen), colorInCallback);
}

TEST(Button, FourFrameStripShowsTheClickedFrameUntilTheMouseMoves) {
    Stage stage;
    CQvButton b;
    StripButton(b, stage, kStrip4, 4);
    b.OnMouse(30, 15, QV_MOUSE_LDOWN, nullptr);
    b.OnMouse(30, 15, QV_MOUSE_LUP, nullptr);
    EXPECT_EQ(3, b.state);
    EXPECT_EQ(Rgb(kYellow), stage.cache.rgb(35, 15));
    b.OnMouse(31, 15, QV_MOUSE_MOVE, nullptr);
    EXPECT_EQ(1, b.state);
    EXPECT_EQ(Rgb(kGreen), stage.cache.rgb(35, 15));
}

TEST(Button, DisabledButtonIgnoresTheMouse) {
    Stage stage;
    CQvButton b;
    StripButton(b, stage, kStrip3, 3);
    b.state = 1;
    b.enabled = false;
    int target = 0;
    b.onDown = OnDown;
    EXPECT_FALSE(b.OnMouse(30, 15, QV_MOUSE_LDOWN, &target));
    EXPECT_FALSE(b.OnMouse(150, 80, QV_MOUSE_MOVE, &target));
    EXPECT_EQ(1, b.state);
    EXPECT_FALSE(b.pressed);
    EXPECT_EQ(0, target);
}

TEST(Button, SeparateStateImagesAndClamping) {
    TheImages();
    Canvas c(40, 20);
    CQvButton b;
    b.Init(nullptr, 0, 0, 12, 8, 0, 1, nullptr, nullptr);
    b.imageId = kStates;
    for (int s = 0; s < 4; ++s) {
        b.state = s;
        b.DrawAt(c.dc(), 0, 0);
        EXPECT_EQ(Rgb(kStateColors[s]), c.rgb(6, 4)) << "state " << s;
    }
    b.stateImages = 3;
    b.state = 5;
    b.DrawAt(c.dc(), 0, 0);
    EXPECT_EQ(2, b.state) << "clamped and kept";
    EXPECT_EQ(Rgb(kStateColors[2]), c.rgb(6, 4));

    // Hidden buttons and null DCs draw nothing.
    Canvas e(20, 10);
    b.visible = false;
    b.DrawAt(e.dc(), 0, 0);
    b.visible = true;
    b.DrawAt(nullptr, 0, 0);
    EXPECT_EQ(0u, e.at(6, 4));
}

TEST(Button, ImageFileFallsBackToResourcesWhenMissing) {
    TheImages();
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"own.png", MakeStrip(12, 8, {kWhite, kBlack, kGrey})));
    Canvas c(20, 10);
    CQvButton b;
    b.Init(nullptr, 0, 0, 12, 8, 0, 3, nullptr, (dir / L"own.png").c_str());
    b.imageId = kStrip3;
    b.stateImages = 1;
    b.state = 1;
    b.DrawAt(c.dc(), 0, 0);
    EXPECT_EQ(Rgb(kBlack), c.rgb(6, 4));
    b.imagePath = dir / L"gone.png";
    b.DrawAt(c.dc(), 0, 0);
    EXPECT_EQ(Rgb(kGreen), c.rgb(6, 4));
}

TEST(Button, ThemesFolderFallsBackToResourcesPerState) {
    TheImages();
    wchar_t folder[MAX_PATH];
    GetCurPath(folder);
    std::wstring themes = std::wstring(folder) + L"Themes\\";
    ::CreateDirectoryW(themes.c_str(), nullptr);
    ::CreateDirectoryW((themes + L"qvt\\").c_str(), nullptr);
    ASSERT_TRUE(WriteBytes(themes + L"qvt\\button_0.png", Solid(kWhite)));
    ASSERT_TRUE(WriteBytes(themes + L"qvt\\button_1.png", Solid(kBlack)));
    CQvSkin::Instance().SetThemesName(L"qvt");

    Canvas c(20, 10);
    CQvButton b;
    b.Init(nullptr, 0, 0, 12, 8, 0, 1, nullptr, nullptr);
    b.imageId = kStates;
    b.state = 1;
    b.DrawAt(c.dc(), 0, 0);
    EXPECT_EQ(Rgb(kBlack), c.rgb(6, 4)) << "button_1.png";
    b.state = 2;  // no button_2.png: resource imageId + 2
    b.DrawAt(c.dc(), 0, 0);
    EXPECT_EQ(Rgb(kStateColors[2]), c.rgb(6, 4));
    b.imageId = kStrip3;  // ... or frame 2 of the strip
    b.stateImages = 1;
    b.frames = 3;
    b.DrawAt(c.dc(), 0, 0);
    EXPECT_EQ(Rgb(kBlue), c.rgb(6, 4));

    CQvSkin::Instance().SetResType(0);
    RemoveTree(themes);
}

TEST(Button, SkinPackageImageByBaseName) {
    TheImages();
    wchar_t folder[MAX_PATH];
    GetCurPath(folder);
    std::wstring skins = std::wstring(folder) + L"Skins\\";
    ::CreateDirectoryW(skins.c_str(), nullptr);
    TempDir src;
    ASSERT_TRUE(WriteBytes(src / L"okbtn.png", MakeStrip(12, 8, {kWhite, kBlack, kGrey})));
    CQvSkin& skin = CQvSkin::Instance();
    ASSERT_TRUE(skin.MakeSkin(src.path().c_str(), (skins + L"qvt_btn").c_str()));
    ASSERT_TRUE(skin.LoadSkin(L"qvt_btn"));

    Canvas c(20, 10);
    CQvButton b;
    b.Init(nullptr, 0, 0, 12, 8, 0, 3, nullptr, nullptr);
    b.imageBase = L"okbtn";
    b.imageId = kStrip3;
    b.stateImages = 1;
    for (int s = 0; s < 3; ++s) {  // the cached stream serves every paint
        b.state = s;
        b.DrawAt(c.dc(), 0, 0);
        EXPECT_EQ(Rgb(s == 0 ? kWhite : s == 1 ? kBlack : kGrey), c.rgb(6, 4)) << s;
    }
    b.imageBase = L"other";
    b.DrawAt(c.dc(), 0, 0);
    EXPECT_EQ(Rgb(kBlue), c.rgb(6, 4)) << "not in the package: the resource";

    skin.FreeSkin();
    skin.SetResType(0);
    // The skin tests may be using the folder too: take only our package.
    ::DeleteFileW((skins + L"qvt_btn").c_str());
    ::RemoveDirectoryW(skins.c_str());
}

TEST(Button, CaptionIsDrawnOnlyWhenSet) {
    TheImages();
    auto darkPixels = [](const Canvas& c) {
        int n = 0;
        for (int y = 0; y < c.height(); ++y)
            for (int x = 0; x < c.width(); ++x) n += (c.rgb(x, y) & 0xFF) < 0x40;
        return n;
    };
    CQvButton b;
    b.Init(nullptr, 0, 0, 60, 24, 0, 1, nullptr, nullptr);
    b.imageId = 9999;  // no image: only the caption shows
    Canvas c(60, 24, kWhite);
    b.DrawAt(c.dc(), 0, 0);
    EXPECT_EQ(0, darkPixels(c));
    b.caption = L"OK";
    b.font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    b.DrawAt(c.dc(), 0, 0);
    EXPECT_GT(darkPixels(c), 5);
}

TEST(Button, RepaintOnlyWhenSomeOfItIsInsideTheWindow) {
    Stage stage;
    CQvButton b;
    StripButton(b, stage, kStrip3, 3);
    b.x = -25;  // partly outside on the left
    EXPECT_TRUE(b.IsInWindow());
    b.Refresh(false);
    EXPECT_EQ(Rgb(kRed), stage.cache.rgb(2, 15));

    stage.cache.Fill(kBlack);
    b.x = 201;  // wholly outside
    EXPECT_FALSE(b.IsInWindow());
    b.x = -31;
    EXPECT_FALSE(b.IsInWindow());
    b.Refresh(false);
    b.x = 20;
    b.visible = false;
    EXPECT_FALSE(b.IsInWindow());
    b.Refresh(false);
    EXPECT_EQ(Rgb(kBlack), stage.cache.rgb(2, 15));
    EXPECT_EQ(Rgb(kBlack), stage.cache.rgb(35, 15));

    RECT r;
    b.originX = 5;
    b.originY = 2;
    b.GetRect(r);
    EXPECT_EQ(15, r.left);
    EXPECT_EQ(8, r.top);
    EXPECT_EQ(45, r.right);
    EXPECT_EQ(20, r.bottom);
}

TEST(Button, PlainWindowRepaintWritesTheFrameOnlyWhenAsked) {
    Stage stage;
    CQvButton b;
    StripButton(b, stage, kStrip3, 3);
    b.layeredMode = false;
    b.Refresh(false);
    EXPECT_EQ(Rgb(kBlack), stage.cache.rgb(35, 15));
    b.Refresh(true);
    EXPECT_EQ(Rgb(kRed), stage.cache.rgb(35, 15));
    EXPECT_EQ(Rgb(kBlack), stage.cache.rgb(19, 15)) << "only the button's rectangle";
}

TEST(Button, HidingErasesWithTheBackgroundAndShowingRepaints) {
    Stage stage;
    CQvButton b;
    StripButton(b, stage, kStrip3, 3);
    b.Refresh(false);
    ASSERT_EQ(Rgb(kRed), stage.cache.rgb(35, 15));
    b.Show(false);
    EXPECT_FALSE(b.visible);
    // Hidden in the composed frame too, so a sibling's repaint, which
    // starts from it, cannot bring the button back.
    EXPECT_EQ(Rgb(kWhite), stage.cache.rgb(35, 15));
    b.Show(true);
    EXPECT_EQ(Rgb(kRed), stage.cache.rgb(35, 15));
}

TEST(Button, ControlWithoutAnyWindowDoesNothing) {
    CQvButton b;
    b.width = 10;
    b.height = 10;
    EXPECT_FALSE(b.IsInWindow());
    b.Refresh(true);
    b.Show(false);
    b.Show(true);
    EXPECT_TRUE(b.OnMouse(5, 5, QV_MOUSE_MOVE, nullptr)) << "input still works";
    EXPECT_EQ(1, b.state);
}

TEST(Button, PlainWindowRepaintReachesTheScreen) {
    TheImages();
    HWND wnd = ::CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 40, 40,
                                 120, 60, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(wnd);
    ASSERT_TRUE(qvtest::WaitPainted(wnd));  // a later paint of its own would erase the button
    Canvas bg(120, 60, kWhite);
    CQvButton b;
    b.Init(nullptr, 30, 20, 24, 16, 0, 3, wnd, nullptr);
    b.imageId = kStrip3;
    b.stateImages = 1;
    b.bgDC = bg.dc();
    b.OnMouse(35, 25, QV_MOUSE_MOVE, nullptr);  // hover: repainted at once
    Pixels shown = ReadWindow(wnd);
    ASSERT_EQ(120, shown.width);
    EXPECT_EQ(Rgb(kGreen), Rgb(shown.at(40, 27)));
    b.Show(false);
    shown = ReadWindow(wnd);
    EXPECT_EQ(Rgb(kWhite), Rgb(shown.at(40, 27))) << "erased with the background";
    ::DestroyWindow(wnd);
}
