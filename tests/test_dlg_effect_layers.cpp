// Every show and hide effect on a plain and on a layered dialog, judged by
// what the screen shows once it is over: a dialog that ends shown is there
// in its own colour, fully opaque; one that ends faded out is gone.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/QvApp.h"
#include "support/TestUtil.h"
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

// The screen's pixel at the middle of the window, as 0x00RRGGBB.
DWORD ScreenAtMiddle(HWND wnd) {
    RECT wr{};
    ::GetWindowRect(wnd, &wr);
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, 1, 1);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, 1, 1, screen, (wr.left + wr.right) / 2, (wr.top + wr.bottom) / 2, SRCCOPY);
    ::SelectObject(mem, old);
    const qvtest::Pixels px = qvtest::ReadBitmap(bmp);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return px.px.empty() ? 0 : px.px[0] & 0xFFFFFF;
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

INSTANTIATE_TEST_SUITE_P(PlainAndLayered, EffectOnBothKinds, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Layered" : "Plain"; });
