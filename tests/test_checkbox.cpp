// The text label and the check box: drawing, toggling, callbacks, and how
// a dialog drags through a label but not through a check box.
#include <gtest/gtest.h>

#include "ui/QvApp.h"
#include "support/ImageFixtures.h"
#include "support/TestUtil.h"
#include "ui/QvCheckBox.h"
#include "ui/QvDlg.h"
#include "ui/QvFont.h"
#include "ui/QvText.h"

using namespace qvtest;

namespace {

struct AppNamed {
    AppNamed() { CQvApp::Instance().SetAppName(L"QvCheckBoxTest"); }
};
const AppNamed named;

// One solid colour per state, in the place of the shipped 60036..60039.
const DWORD kStateColors[] = {kCyan, kMagenta, kGrey, kYellow};

struct Images {
    TempDir dir{L"qvchk"};
    ResourceModule module{dir,
                          {{60036, MakePng(15, 15, [](int, int) { return kStateColors[0]; })},
                           {60037, MakePng(15, 15, [](int, int) { return kStateColors[1]; })},
                           {60038, MakePng(15, 15, [](int, int) { return kStateColors[2]; })},
                           {60039, MakePng(15, 15, [](int, int) { return kStateColors[3]; })}}};
};

void UseTestImages() {
    static Images images;
    CQvImage::Instance().SetInst(images.module.module());
}

DWORD Rgb(DWORD argb) {
    return argb & 0xFFFFFF;
}

int DarkPixels(const Canvas& c, int x0 = 0, int x1 = -1) {
    if (x1 < 0) x1 = c.width();
    int n = 0;
    for (int y = 0; y < c.height(); ++y)
        for (int x = x0; x < x1; ++x) n += (c.rgb(x, y) & 0xFF) < 0x60;
    return n;
}

// A layered owner window and the dialog's two layers, as test_button has.
struct Stage {
    Stage() {
        wnd = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                nullptr, nullptr);
    }
    ~Stage() { ::DestroyWindow(wnd); }
    void Attach(CQvBase& c) {
        c.ownerWnd = wnd;
        c.bgDC = bg.dc();
        c.cacheDC = cache.dc();
        c.layeredMode = true;
    }
    HWND wnd;
    Canvas bg{200, 100, kWhite};
    Canvas cache{200, 100, kBlack};
};

int downs = 0, clicks = 0;
void CountDown(void*) { ++downs; }
void CountClick(void* target) {
    ++clicks;
    *static_cast<int*>(target) += 1;
}

}  // namespace

TEST(CheckBox, FourStatesComeFromFourNumberedImages) {
    UseTestImages();
    CQvCheckBox box;
    box.Init(L"", 0, 0, 100, 20, false, 0, 1, nullptr, nullptr);
    EXPECT_EQ(60036, box.imageId);
    EXPECT_EQ(L"checkbox", box.imageBase);
    Canvas c(40, 20, kWhite);
    for (int s = 0; s < 4; ++s) {
        box.state = s;
        box.DrawAt(c.dc(), 0, 0);
        EXPECT_EQ(Rgb(kStateColors[s]), c.rgb(7, 9)) << "state " << s;
    }
    // Always 15 x 15, two pixels below the control's top.
    EXPECT_EQ(Rgb(kStateColors[3]), c.rgb(0, 2));
    EXPECT_EQ(Rgb(kStateColors[3]), c.rgb(14, 16));
    EXPECT_EQ(Rgb(kWhite), c.rgb(7, 1));
    EXPECT_EQ(Rgb(kWhite), c.rgb(7, 17));
    EXPECT_EQ(Rgb(kWhite), c.rgb(15, 9));

    box.stateImages = 3;
    box.state = 3;
    EXPECT_TRUE(box.DrawStateImage(c.dc(), 0, 0, 15, 15));
    EXPECT_EQ(2, box.state) << "clamped to the last numbered image";
    box.visible = false;
    EXPECT_FALSE(box.DrawStateImage(c.dc(), 0, 0, 15, 15));
    box.visible = true;
    box.imageId = 9999;
    EXPECT_FALSE(box.DrawStateImage(c.dc(), 0, 0, 15, 15)) << "no such image";
}

TEST(CheckBox, SingleStripFromAFileGivesTheFrameOfTheState) {
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir / L"box.png", MakeStrip(15, 15, {kRed, kGreen, kBlue, kBlack})));
    CQvCheckBox box;
    box.Init(nullptr, 0, 0, 100, 20, true, 0, 4, nullptr, (dir / L"box.png").c_str());
    box.stateImages = 1;
    EXPECT_EQ(3, box.imageSource);
    EXPECT_EQ(QV_CHECK_ON, box.state) << "ticked at Init";
    Canvas c(40, 20, kWhite);
    box.DrawAt(c.dc(), 0, 0);
    EXPECT_EQ(Rgb(kBlack), c.rgb(7, 9));
    box.state = QV_CHECK_OFF_HOVER;
    box.DrawAt(c.dc(), 0, 0);
    EXPECT_EQ(Rgb(kGreen), c.rgb(7, 9));
}

TEST(CheckBox, ClickTogglesRepaintsTheFrameAndCallsBack) {
    UseTestImages();
    Stage stage;
    CQvCheckBox box;
    box.Init(L"", 20, 10, 100, 20, true, 0, 1, nullptr, nullptr);
    stage.Attach(box);
    downs = clicks = 0;
    int target = 0;
    box.onDown = CountDown;
    box.onClick = CountClick;
    auto shown = [&] { return stage.cache.rgb(27, 19); };  // middle of the box

    EXPECT_TRUE(box.OnMouse(30, 15, QV_MOUSE_MOVE, &target));
    EXPECT_EQ(QV_CHECK_ON_HOVER, box.state);
    EXPECT_EQ(Rgb(kStateColors[2]), shown()) << "repainted into the composed frame";

    stage.cache.Fill(kBlack);
    EXPECT_TRUE(box.OnMouse(20, 10, QV_MOUSE_LDOWN, &target)) << "edges are inside";
    EXPECT_TRUE(box.pressed);
    EXPECT_EQ(1, downs);
    EXPECT_EQ(Rgb(kBlack), shown()) << "a press does not repaint";

    EXPECT_TRUE(box.OnMouse(120, 30, QV_MOUSE_LUP, &target));
    EXPECT_FALSE(box.ticked);
    EXPECT_FALSE(box.pressed);
    EXPECT_EQ(QV_CHECK_OFF_HOVER, box.state);
    EXPECT_EQ(Rgb(kStateColors[1]), shown());
    EXPECT_EQ(1, clicks);
    EXPECT_EQ(1, target);

    EXPECT_FALSE(box.OnMouse(65535, 0, QV_MOUSE_MOVE, &target));
    EXPECT_EQ(QV_CHECK_OFF, box.state) << "the pointer left";
    EXPECT_EQ(Rgb(kStateColors[0]), shown());

    // A release without a press toggles nothing; a press inside and a
    // release outside leave the press pending for the next release inside.
    EXPECT_TRUE(box.OnMouse(30, 15, QV_MOUSE_LUP, &target));
    EXPECT_FALSE(box.ticked);
    box.OnMouse(30, 15, QV_MOUSE_LDOWN, &target);
    EXPECT_FALSE(box.OnMouse(150, 80, QV_MOUSE_LUP, &target));
    EXPECT_TRUE(box.pressed);
    box.OnMouse(30, 15, QV_MOUSE_LUP, &target);
    EXPECT_TRUE(box.ticked);
    EXPECT_EQ(QV_CHECK_ON_HOVER, box.state);
    EXPECT_EQ(2, clicks);

    // Disabled or not, a check box reacts; the right button is only handled.
    box.enabled = false;
    EXPECT_TRUE(box.OnMouse(30, 15, QV_MOUSE_RUP, &target));
    EXPECT_FALSE(box.OnMouse(150, 80, QV_MOUSE_MOVE, &target));
    EXPECT_EQ(QV_CHECK_ON, box.state);
}

TEST(CheckBox, CaptionStandsRightOfTheBox) {
    CQvCheckBox box;
    box.Init(L"记住我", 0, 0, 100, 20, false, 0, 1, nullptr, nullptr);
    box.imageId = 9999;  // no image: only the caption shows
    box.font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    Canvas c(100, 20, kWhite);
    box.DrawAt(c.dc(), 0, 0);
    EXPECT_GT(DarkPixels(c, 18), 10);
    EXPECT_EQ(0, DarkPixels(c, 0, 18));
    EXPECT_EQ(CQvFont::Instance().isSupportYaHei() ? 0 : 2, box.textOffsetY);
}

TEST(Text, DrawsItsCaptionInItsFontAndColour) {
    CQvText label;
    EXPECT_TRUE(label.passDrag);
    EXPECT_EQ(CQvFont::Instance().isSupportYaHei() ? 0 : 2, label.textOffsetY);
    Canvas empty(120, 24, kWhite);
    label.Init(L"", 0, 0, 120, 24, false);
    label.DrawAt(empty.dc(), 0, 0);
    EXPECT_EQ(0, DarkPixels(empty));

    label.Init(L"标题", 0, 0, 120, 24, false);
    label.SetFont(16, RGB(200, 0, 0), nullptr, 1, 0, 0);
    EXPECT_EQ(CQvFont::Instance().GetFont(16, nullptr, 1, 0, 0), label.font);
    EXPECT_EQ(RGB(200, 0, 0), label.textColor);
    Canvas left(120, 24, kWhite), centred(120, 24, kWhite);
    label.DrawAt(left.dc(), 0, 0);
    int red = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 120; ++x) {
            DWORD p = left.rgb(x, y);
            red += ((p >> 16) & 0xFF) > 0x90 && (p & 0xFF) < 0x60;
        }
    EXPECT_GT(red, 10) << "drawn in its colour";

    label.centre = true;
    label.DrawAt(centred.dc(), 0, 0);
    auto inkIn = [](const Canvas& c, int x0, int x1) {
        int n = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = x0; x < x1; ++x) n += c.rgb(x, y) != 0xFFFFFF;
        return n;
    };
    EXPECT_GT(inkIn(left, 0, 30), 0);
    EXPECT_EQ(0, inkIn(centred, 0, 30)) << "centred text leaves the left edge free";
}

namespace {

class DragDlg : public CQvDlg {
public:
    DragDlg() { bgImageId = 0; }
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_NCLBUTTONDOWN && wParam == HTCAPTION) {
            ++drags;
            return 0;
        }
        return CQvDlg::WndProc(wnd, msg, wParam, lParam);
    }
    int drags = 0;
};

}  // namespace

TEST(Text, PressOnALabelDragsTheDialogButNotOnACheckBox) {
    DragDlg dlg;
    CQvText label;
    label.Init(L"标题", 10, 2, 100, 20, false);
    CQvCheckBox box;
    box.Init(L"选项", 150, 2, 100, 20, false, 0, 1, nullptr, nullptr);
    dlg.controls = {&label, &box};
    ASSERT_TRUE(dlg.Create(0, 0, 300, 100, 0, false, nullptr, 0));
    ::SendMessageW(dlg.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 10));
    EXPECT_EQ(1, dlg.drags);
    ::SendMessageW(dlg.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 10));
    EXPECT_EQ(1, dlg.drags);
    EXPECT_TRUE(box.pressed) << "the check box got the press instead";
    dlg.controls.clear();
}
