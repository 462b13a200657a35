// The snapshot effects: opening from the middle line and the two flips.
#include <gtest/gtest.h>

#include <vector>

#include "ui/QvApp.h"
#include "support/TestUtil.h"
#include "ui/QvDlg.h"

namespace {

struct AppNamed {
    AppNamed() { CQvApp::Instance().SetAppName(L"QvSnapTest"); }
};
const AppNamed named;

class SnapDlg : public CQvDlg {
public:
    SnapDlg() {
        bgImageId = 0;
        bgColor = RGB(30, 120, 200);
    }
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (wnd == hwnd && msg == WM_WINDOWPOSCHANGED) {
            const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
            if (!(pos->flags & SWP_NOSIZE)) sizes.push_back({pos->x, pos->y, pos->cx, pos->cy});
        }
        if (wnd == hwnd && msg == WM_QV_ANIMATED) ++animated;
        return CQvDlg::WndProc(wnd, msg, wParam, lParam);
    }
    void DrawContent(HDC) override { ++contentDraws; }
    std::vector<RECT> sizes;  // left, top, width, height
    int animated = 0;
    int contentDraws = 0;
};

// Runs one effect and returns how long it took.
DWORD RunTimed(SnapDlg& dlg, int effect) {
    dlg.sizes.clear();
    dlg.animated = 0;
    DWORD start = ::GetTickCount();
    dlg.Animate(effect);
    DWORD took = ::GetTickCount() - start;
    EXPECT_TRUE(qvtest::PumpUntil([&] { return dlg.animated == 1; }, 2000)) << effect;
    return took;
}

}  // namespace

TEST(DlgEffectSnap, OpenFromMiddleGrowsBandsAndEndsFullAndActive) {
    SnapDlg dlg;
    ASSERT_TRUE(dlg.Create(50, 60, 200, 100, 0, false, nullptr, 0));
    dlg.inputSuspended = true;
    RunTimed(dlg, QV_EFFECT_OPEN_MIDDLE);
    EXPECT_GT(dlg.contentDraws, 0) << "the snapshot is painted first";
    // Ten bands of 10 * k pixels centred on the middle line, then full.
    std::vector<RECT> bands;
    for (const RECT& r : dlg.sizes)
        if (r.bottom != 100 || r.top != 60) bands.push_back(r);
    ASSERT_EQ(9u, bands.size());
    for (int k = 1; k <= 9; ++k) {
        EXPECT_EQ(k * 10, bands[k - 1].bottom);
        EXPECT_EQ(60 + 50 - k * 5, bands[k - 1].top);
    }
    RECT wr{};
    ::GetWindowRect(dlg.hwnd, &wr);
    EXPECT_EQ(60, wr.top);
    EXPECT_EQ(100, wr.bottom - wr.top);
    EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));
    EXPECT_FALSE(dlg.inputSuspended);
}

TEST(DlgEffectSnap, FlipOverRestoresPlainStyleAndKeepsLayered) {
    SnapDlg plain;
    ASSERT_TRUE(plain.Create(50, 60, 200, 100, 0, false, nullptr, 0));
    // s = 0, 20, ..., 200: eleven frames of 20 ms.
    EXPECT_GE(RunTimed(plain, QV_EFFECT_FLIP_OVER), 200u);
    EXPECT_TRUE(::IsWindowVisible(plain.hwnd));
    EXPECT_FALSE(::GetWindowLongW(plain.hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);

    SnapDlg layered;
    ASSERT_TRUE(layered.Create(50, 60, 200, 100, 0, true, nullptr, 0));
    RunTimed(layered, QV_EFFECT_FLIP_OVER);
    EXPECT_TRUE(::GetWindowLongW(layered.hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
}

TEST(DlgEffectSnap, FlipClosedHidesOnlyChildDialogs) {
    SnapDlg top;
    ASSERT_TRUE(top.Create(50, 60, 200, 100, 0, true, nullptr, 0));
    top.Show(true);
    RunTimed(top, QV_EFFECT_FLIP_CLOSED);
    EXPECT_TRUE(::IsWindowVisible(top.hwnd));
    EXPECT_FALSE(top.hidden);

    SnapDlg child;
    ASSERT_TRUE(child.Create(10, 10, 100, 50, 0, false, top.hwnd, 0));
    RunTimed(child, QV_EFFECT_FLIP_CLOSED);
    EXPECT_TRUE(child.hidden);
    EXPECT_FALSE(::IsWindowVisible(child.hwnd));
}

TEST(DlgEffectSnap, FlipsOfNarrowDialogStepOnePixel) {
    SnapDlg dlg;
    ASSERT_TRUE(dlg.Create(50, 60, 6, 40, 0, false, nullptr, 0));
    // s = 0..6 in steps of 1: seven frames; closing stops at half, 4 frames.
    EXPECT_GE(RunTimed(dlg, QV_EFFECT_FLIP_OVER), 120u);
    EXPECT_GE(RunTimed(dlg, QV_EFFECT_FLIP_CLOSED), 60u);
    EXPECT_LT(RunTimed(dlg, QV_EFFECT_FLIP_CLOSED), 2000u);
}
