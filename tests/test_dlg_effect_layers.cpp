// Every show and hide effect on a plain and on a layered dialog, judged by
// what the screen shows once it is over: a dialog that ends shown is there
// in its own colour, fully opaque; one that ends faded out is gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/QvApp.h"
#include "support/TestUtil.h"
#include "ui/QvButton.h"
#include "ui/QvDlg.h"

namespace {

struct AppNamed {
    AppNamed() { CQvApp::Instance().SetAppName(L"QvLayerFxTest"); }
};
const AppNamed named;

constexpr COLORREF kFill = RGB(30, 120, 200);

class FillDlg : public CQvDlg {
public:
    FillDlg() {
        bgImageId = 0;
        bgColor = kFill;
    }
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (wnd == hwnd && msg == WM_QV_ANIMATED) ++animated;
        return CQvDlg::WndProc(wnd, msg, wParam, lParam);
    }
    int animated = 0;
};

// The screen's pixel at (x, y), as 0x00RRGGBB.
DWORD ScreenAt(int x, int y) {
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, 1, 1);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, 1, 1, screen, x, y, SRCCOPY);
    ::SelectObject(mem, old);
    const qvtest::Pixels px = qvtest::ReadBitmap(bmp);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return px.px.empty() ? 0 : px.px[0] & 0xFFFFFF;
}

// The screen's pixel at the middle of the window.
DWORD ScreenAtMiddle(HWND wnd) {
    RECT wr{};
    ::GetWindowRect(wnd, &wr);
    return ScreenAt((wr.left + wr.right) / 2, (wr.top + wr.bottom) / 2);
}

bool IsFill(DWORD rgb) {
    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return std::abs(r - GetRValue(kFill)) <= 6 && std::abs(g - GetGValue(kFill)) <= 6 &&
           std::abs(b - GetBValue(kFill)) <= 6;
}

// The alpha the window would be shown with by the system, 255 when it has
// none of its own.
int SystemAlpha(HWND wnd) {
    if (!(::GetWindowLongW(wnd, GWL_EXSTYLE) & WS_EX_LAYERED)) return 255;
    BYTE alpha = 255;
    DWORD flags = 0;
    if (!::GetLayeredWindowAttributes(wnd, nullptr, &alpha, &flags) || !(flags & LWA_ALPHA))
        return 255;
    return alpha;
}

void RunFx(FillDlg& dlg, int effect) {
    dlg.animated = 0;
    dlg.Animate(effect);
    ASSERT_TRUE(qvtest::PumpUntil([&] { return dlg.animated > 0; }, 5000)) << effect;
}

// Waits for the screen to settle on the dialog's colour (or on anything
// else); the last frame may still be on its way to the display.
bool ScreenShowsFill(HWND wnd, bool fill) {
    return qvtest::PumpUntil([&] { return IsFill(ScreenAtMiddle(wnd)) == fill; }, 5000);
}

class EffectOnBothKinds : public ::testing::TestWithParam<bool> {};

}  // namespace

TEST_P(EffectOnBothKinds, ShowEffectsEndVisibleAndOpaqueEvenAfterAFadeOut) {
    const bool layered = GetParam();
    for (int effect : {QV_EFFECT_SLIDE_IN, QV_EFFECT_UNROLL, QV_EFFECT_OPEN_MIDDLE,
                       QV_EFFECT_FADE_IN, QV_EFFECT_ZOOM_IN, QV_EFFECT_FLIP_OVER,
                       QV_EFFECT_WIPE_OPEN}) {
        for (bool fadedFirst : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "effect " << effect << (layered ? " layered" : " plain")
                                              << (fadedFirst ? " after a fade-out" : ""));
            FillDlg dlg;
            ASSERT_TRUE(dlg.Create(120, 140, 200, 100, 0, layered, nullptr, 0));
            if (fadedFirst) {
                dlg.Show(true);
                RunFx(dlg, QV_EFFECT_FADE_OUT);
            }
            RunFx(dlg, effect);
            EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));
            EXPECT_EQ(255, dlg.fadeAlpha.load());
            EXPECT_EQ(255, SystemAlpha(dlg.hwnd));
            EXPECT_TRUE(ScreenShowsFill(dlg.hwnd, true))
                << std::hex << "screen shows " << ScreenAtMiddle(dlg.hwnd);
        }
    }
}

TEST_P(EffectOnBothKinds, FadesOutEndFullyGoneAndStillShown) {
    const bool layered = GetParam();
    for (int effect : {QV_EFFECT_FADE_OUT, QV_EFFECT_SWELL_VANISH}) {
        SCOPED_TRACE(::testing::Message() << "effect " << effect << (layered ? " layered" : " plain"));
        FillDlg dlg;
        ASSERT_TRUE(dlg.Create(120, 140, 200, 100, 0, layered, nullptr, 0));
        RunFx(dlg, QV_EFFECT_FADE_IN);
        ASSERT_TRUE(ScreenShowsFill(dlg.hwnd, true));
        RunFx(dlg, effect);
        EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));
        EXPECT_FALSE(dlg.hidden);
        EXPECT_EQ(0, dlg.fadeAlpha.load());
        if (layered) {
            // Nothing of the dialog may be left over whatever lies behind it.
            EXPECT_TRUE(ScreenShowsFill(dlg.hwnd, false));
        } else {
            // Xvfb has no compositor to show a plain window's alpha.
            EXPECT_EQ(0, SystemAlpha(dlg.hwnd));
        }
    }
}

TEST_P(EffectOnBothKinds, HideEffectsEndHidden) {
    const bool layered = GetParam();
    for (int effect : {QV_EFFECT_ROLL_UP, QV_EFFECT_COLLAPSE_MIDDLE, QV_EFFECT_WIPE_CLOSED}) {
        SCOPED_TRACE(::testing::Message() << "effect " << effect << (layered ? " layered" : " plain"));
        FillDlg dlg;
        ASSERT_TRUE(dlg.Create(120, 140, 200, 100, 0, layered, nullptr, 0));
        RunFx(dlg, QV_EFFECT_FADE_IN);
        RunFx(dlg, effect);
        EXPECT_FALSE(::IsWindowVisible(dlg.hwnd));
        EXPECT_TRUE(dlg.hidden);
    }
}

TEST_P(EffectOnBothKinds, SlideOutAndFlipClosedLeaveTheDialogShown) {
    const bool layered = GetParam();
    FillDlg dlg;
    ASSERT_TRUE(dlg.Create(120, 140, 200, 100, 0, layered, nullptr, 0));
    RunFx(dlg, QV_EFFECT_FADE_IN);
    RunFx(dlg, QV_EFFECT_SLIDE_OUT);
    RECT wr{};
    ::GetWindowRect(dlg.hwnd, &wr);
    EXPECT_EQ(120 - 5 * ((120 + 200) / 5), wr.left);
    EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));
    // Shown again in its place without an effect, it is whole.
    dlg.ShowDlg(QV_EFFECT_NONE, true, SW_SHOW);
    dlg.Redraw();
    EXPECT_TRUE(ScreenShowsFill(dlg.hwnd, true))
        << std::hex << "screen shows " << ScreenAtMiddle(dlg.hwnd);
    RunFx(dlg, QV_EFFECT_FLIP_CLOSED);
    EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));
    EXPECT_FALSE(dlg.hidden);
}

// A fade-in starts at its first, faint frame and only brightens: the
// screen never shows the dialog whole and then drops it back to the ramp.
// The pointer moves on and off a button all along, as when the dialog
// appears under it: each change repaints the button, and that repaint is
// presented at the fade's alpha too. Judged on the blue of the fill beside
// the button over what lay behind, sampled as fast as the screen is read.
TEST(FadeIn, OnlyBrightensWhileAControlRepaints) {
    struct ButtonDlg : FillDlg {
        CQvButton button{L"确 定", 20};
        void OnInit() override {
            FillDlg::OnInit();
            button.y = 20;
            controls.push_back(&button);
        }
    };
    const int cx = ::GetSystemMetrics(SM_CXSCREEN) / 2, cy = ::GetSystemMetrics(SM_CYSCREEN) / 2;
    for (int start = 0; start < 3; ++start) {
        SCOPED_TRACE(::testing::Message() << "start " << start);
        ButtonDlg dlg;
        ASSERT_TRUE(dlg.Create(0, 0, 200, 100, 0, true, nullptr, 0));
        const int behind = ScreenAt(cx, cy) & 0xFF;
        ASSERT_LT(behind, GetBValue(kFill) - 100) << "the fill must stand out from the screen";
        std::vector<int> shares;  // the fill's share of the blue, in percent
        bool onButton = false;
        auto sample = [&] {
            onButton = !onButton;
            ::PostMessageW(dlg.hwnd, WM_MOUSEMOVE, 0, onButton ? MAKELPARAM(30, 30) : MAKELPARAM(150, 80));
            const int blue = static_cast<int>(ScreenAt(cx, cy) & 0xFF);
            shares.push_back((blue - behind) * 100 / (GetBValue(kFill) - behind));
        };
        dlg.ShowDlg(QV_EFFECT_FADE_IN, true, SW_SHOW);
        ASSERT_TRUE(qvtest::PumpUntil([&] { sample(); return dlg.animated > 0; }, 10000));
        ASSERT_TRUE(qvtest::PumpUntil([&] { sample(); return shares.back() >= 95; }, 5000))
            << "the fade-in did not end opaque";
        std::string seen;
        for (int share : shares) seen += std::to_string(share) + " ";
        const auto first = std::find_if(shares.begin(), shares.end(), [](int s) { return s > 5; });
        ASSERT_NE(shares.end(), first);
        // The ramp's first visible steps are 31 and 38 %; sampling may miss a few.
        EXPECT_LE(*first, 70) << "the first visible frame was the whole dialog: " << seen;
        int highest = 0;
        for (int share : shares) {
            if (share < highest - 15) {
                ADD_FAILURE() << "brighter before than the ramp allows: " << seen;
                break;
            }
            highest = std::max(highest, share);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PlainAndLayered, EffectOnBothKinds, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Layered" : "Plain"; });
