// Show and hide effects: window positions frame by frame, end states,
// alpha, the end notification and the guard against overlapping effects.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "ui/QvApp.h"
#include "support/TestUtil.h"
#include "ui/QvDlg.h"

namespace {

struct AppNamed {
    AppNamed() { CQvApp::Instance().SetAppName(L"QvAnimTest"); }
};
const AppNamed named;

// Records every move and resize of its window and counts end notifications.
class RecDlg : public CQvDlg {
public:
    RecDlg() { bgImageId = 0; }
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (wnd == hwnd && msg == WM_WINDOWPOSCHANGED) {
            const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
            if (!(pos->flags & SWP_NOMOVE) || !(pos->flags & SWP_NOSIZE)) {
                RECT r{};
                ::GetWindowRect(wnd, &r);
                if (frames.empty() || !::EqualRect(&frames.back(), &r)) frames.push_back(r);
            }
        }
        if (wnd == hwnd && msg == WM_QV_ANIMATED) {
            ++animated;
            EXPECT_EQ(0u, wParam);
            EXPECT_EQ(0, lParam);
        }
        return CQvDlg::WndProc(wnd, msg, wParam, lParam);
    }
    std::vector<LONG> Lefts() const {
        std::vector<LONG> v;
        for (const RECT& r : frames)
            if (v.empty() || v.back() != r.left) v.push_back(r.left);
        return v;
    }
    std::vector<RECT> frames;
    int animated = 0;
};

BYTE AlphaOf(HWND wnd) {
    BYTE alpha = 0;
    COLORREF key = 0;
    DWORD flags = 0;
    ::GetLayeredWindowAttributes(wnd, &key, &alpha, &flags);
    return alpha;
}

// Runs one effect on this thread and lets the end notification arrive.
void RunEffect(RecDlg& dlg, int effect) {
    dlg.frames.clear();
    dlg.animated = 0;
    dlg.Animate(effect);
    EXPECT_FALSE(dlg.animating);
    EXPECT_TRUE(qvtest::PumpUntil([&] { return dlg.animated > 0; }, 2000)) << effect;
}

}  // namespace

TEST(DlgEffect, SlideInVisitsBounceAndEndsInPlace) {
    RecDlg dlg;
    ASSERT_TRUE(dlg.Create(100, 80, 450, 120, 0, false, nullptr, 0));
    RunEffect(dlg, QV_EFFECT_SLIDE_IN);
    EXPECT_EQ((std::vector<LONG>{-267, -84, 99, 94, 89, 94, 99, 100}), dlg.Lefts());
    for (const RECT& r : dlg.frames) {
        EXPECT_EQ(80, r.top);
        EXPECT_EQ(450, r.right - r.left);
    }
    EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));
    EXPECT_EQ(1, dlg.animated);
}

TEST(DlgEffect, SlideOutKeepsStoredPosition) {
    RecDlg dlg;
    ASSERT_TRUE(dlg.Create(100, 80, 450, 120, 0, false, nullptr, 0));
    RunEffect(dlg, QV_EFFECT_SLIDE_OUT);
    // (100 + 450) / 5 = 110 per frame.
    EXPECT_EQ((std::vector<LONG>{-10, -120, -230, -340, -450}), dlg.Lefts());
    EXPECT_EQ(100, dlg.x);
    EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));
    EXPECT_FALSE(dlg.hidden);

    dlg.ShowDlg(-1, false, SW_SHOW);
    RECT wr{};
    ::GetWindowRect(dlg.hwnd, &wr);
    EXPECT_EQ(-450, wr.left) << "shown where the effect left it";
    dlg.ShowDlg(-1, true, SW_SHOW);
    ::GetWindowRect(dlg.hwnd, &wr);
    EXPECT_EQ((::GetSystemMetrics(SM_CXSCREEN) - 450) / 2, wr.left);
}

TEST(DlgEffect, RollsAndWipesEndShownOrHidden) {
    RecDlg dlg;
    ASSERT_TRUE(dlg.Create(50, 60, 200, 100, 0, false, nullptr, 0));

    RunEffect(dlg, QV_EFFECT_UNROLL);
    ASSERT_EQ(5u, dlg.frames.size());
    EXPECT_EQ(20, dlg.frames[0].bottom - dlg.frames[0].top);
    EXPECT_EQ(100, dlg.frames[4].bottom - dlg.frames[4].top);
    EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));

    RunEffect(dlg, QV_EFFECT_WIPE_OPEN);
    ASSERT_EQ(10u, dlg.frames.size());
    EXPECT_EQ(20, dlg.frames[0].right - dlg.frames[0].left);
    EXPECT_EQ(200, dlg.frames[9].right - dlg.frames[9].left);

    RunEffect(dlg, QV_EFFECT_ROLL_UP);
    EXPECT_FALSE(::IsWindowVisible(dlg.hwnd));
    EXPECT_TRUE(dlg.hidden);

    dlg.hidden = false;
    RunEffect(dlg, QV_EFFECT_WIPE_CLOSED);
    EXPECT_FALSE(::IsWindowVisible(dlg.hwnd));
    EXPECT_TRUE(dlg.hidden);
    EXPECT_EQ(180, dlg.frames.front().right - dlg.frames.front().left);

    dlg.hidden = false;
    RunEffect(dlg, QV_EFFECT_COLLAPSE_MIDDLE);
    EXPECT_TRUE(dlg.hidden);
    EXPECT_TRUE(dlg.inputSuspended) << "stays suspended after collapsing";
    // The last frame is a one-pixel line through the middle.
    ASSERT_FALSE(dlg.frames.empty());
    EXPECT_EQ(110, dlg.frames.back().top);
    EXPECT_EQ(1, dlg.frames.back().bottom - dlg.frames.back().top);
    EXPECT_EQ(50, dlg.x);
    EXPECT_EQ(100, dlg.height) << "the stored rectangle is unchanged";
}

TEST(DlgEffect, FadesEndAtTheirAlphaAndStayVisible) {
    RecDlg dlg;
    ASSERT_TRUE(dlg.Create(50, 60, 200, 100, 0, false, nullptr, 0));
    RunEffect(dlg, QV_EFFECT_FADE_IN);
    EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));
    EXPECT_TRUE(::GetWindowLongW(dlg.hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_EQ(255, AlphaOf(dlg.hwnd)) << "a fade-in ends fully opaque";

    RunEffect(dlg, QV_EFFECT_FADE_OUT);
    EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));
    EXPECT_FALSE(dlg.hidden);
    EXPECT_EQ(0, AlphaOf(dlg.hwnd)) << "a fade-out ends fully gone";
    EXPECT_TRUE(dlg.frames.empty()) << "fading does not move the window";
}

TEST(DlgEffect, ZoomInOvershootsAndRestoresRectangle) {
    RecDlg dlg;
    ASSERT_TRUE(dlg.Create(100, 100, 200, 100, 0, false, nullptr, 0));
    RunEffect(dlg, QV_EFFECT_ZOOM_IN);
    // r = 1000 / 200 = 5: the overshoot is 260 x 130 at (70, 85).
    bool sawOvershoot = false;
    for (const RECT& r : dlg.frames)
        if (r.left == 70 && r.top == 85 && r.right - r.left == 260 && r.bottom - r.top == 130)
            sawOvershoot = true;
    EXPECT_TRUE(sawOvershoot);
    ASSERT_FALSE(dlg.frames.empty());
    EXPECT_EQ(dlg.frames[0].right - dlg.frames[0].left, 66);  // first third
    EXPECT_EQ(100, dlg.x);
    EXPECT_EQ(100, dlg.y);
    EXPECT_EQ(200, dlg.width);
    EXPECT_EQ(100, dlg.height);
    RECT wr{};
    ::GetWindowRect(dlg.hwnd, &wr);
    EXPECT_EQ(100, wr.left);
    EXPECT_EQ(200, wr.right - wr.left);
    EXPECT_FALSE(dlg.inputSuspended);
    EXPECT_EQ(255, AlphaOf(dlg.hwnd));
}

TEST(DlgEffect, SwellLeavesGrownRectangleTransparentButShown) {
    RecDlg dlg;
    ASSERT_TRUE(dlg.Create(100, 100, 200, 100, 0, false, nullptr, 0));
    dlg.Show(true);
    RunEffect(dlg, QV_EFFECT_SWELL_VANISH);
    EXPECT_EQ(199, dlg.x);
    EXPECT_EQ(148, dlg.y);
    EXPECT_EQ(260, dlg.width);
    EXPECT_EQ(130, dlg.height);
    EXPECT_EQ(0, AlphaOf(dlg.hwnd));
    EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));
    EXPECT_FALSE(dlg.hidden);
    EXPECT_TRUE(dlg.inputSuspended);
}

TEST(DlgEffect, ZeroWidthDialogDoesNotDivideByZero) {
    RecDlg dlg;
    ASSERT_TRUE(dlg.Create(100, 100, 200, 100, 0, false, nullptr, 0));
    dlg.width = 0;
    RunEffect(dlg, QV_EFFECT_ZOOM_IN);
    RunEffect(dlg, QV_EFFECT_SWELL_VANISH);
}

TEST(DlgEffect, UnknownEffectRunsNothingButAnnouncesEnd) {
    RecDlg dlg;
    ASSERT_TRUE(dlg.Create(10, 10, 100, 100, 0, false, nullptr, 0));
    for (int effect : {14, -1, 1000}) {
        RunEffect(dlg, effect);
        EXPECT_TRUE(dlg.frames.empty());
        EXPECT_EQ(1, dlg.animated);
    }
    EXPECT_FALSE(::IsWindowVisible(dlg.hwnd));
}

TEST(DlgEffect, SecondEffectDuringOneReturnsAtOnceAndPostsNothing) {
    RecDlg dlg;
    ASSERT_TRUE(dlg.Create(10, 10, 200, 100, 0, false, nullptr, 0));
    dlg.ShowDlg(QV_EFFECT_UNROLL, false, SW_HIDE);
    ASSERT_TRUE(qvtest::PumpUntil([&] { return dlg.animating.load(); }, 2000));

    // Had it run, the wipe would have hidden the window and posted a second
    // end notification: both are checked below, however long anything took.
    dlg.Animate(QV_EFFECT_WIPE_CLOSED);
    const int x = dlg.x;
    dlg.ShowDlg(-1, true, SW_HIDE);
    EXPECT_EQ(x, dlg.x) << "ShowDlg does nothing while an effect runs";

    ASSERT_TRUE(qvtest::PumpUntil([&] { return dlg.animated > 0 && !dlg.animating.load(); }, 30000));
    // Whatever the second call posted was queued when it returned, before
    // the worker's end notification.
    qvtest::DrainMessages();
    EXPECT_EQ(1, dlg.animated);
    EXPECT_FALSE(dlg.hidden);
    EXPECT_TRUE(::IsWindowVisible(dlg.hwnd)) << "the worker's effect ran, showCmd was ignored";
}

TEST(DlgEffect, ShowDlgSlidesInOnWorkerWhileThisThreadPumps) {
    RecDlg dlg;
    ASSERT_TRUE(dlg.Create(0, 0, 450, 230, 0, true, nullptr, 0));
    dlg.ShowDlg(QV_EFFECT_SLIDE_IN, true, SW_HIDE);
    ASSERT_TRUE(qvtest::PumpUntil([&] { return dlg.animated > 0; }, 5000));
    const int sx = (::GetSystemMetrics(SM_CXSCREEN) - 450) / 2;
    std::vector<LONG> lefts = dlg.Lefts();
    ASSERT_GE(lefts.size(), 3u);
    EXPECT_EQ(sx, lefts[0]) << "centred first";
    EXPECT_EQ(-450 + (sx + 450) / 3, lefts[1]);
    EXPECT_EQ(sx, lefts.back());
    EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));
}

namespace {

std::atomic<bool> g_effectOver{false};

class NotingDlg : public CQvDlg {
public:
    NotingDlg() { bgImageId = 0; }
    void Animate(int effect) override {
        CQvDlg::Animate(effect);
        g_effectOver = true;
    }
};

}  // namespace

TEST(DlgEffect, DialogDestroyedDuringItsEffectWaitsForTheWorker) {
    for (bool layered : {false, true}) {
        g_effectOver = false;
        {
            NotingDlg dlg;
            ASSERT_TRUE(dlg.Create(10, 10, 200, 100, 0, layered, nullptr, 0));
            dlg.ShowDlg(QV_EFFECT_FADE_IN, false, SW_SHOW);
            ASSERT_TRUE(qvtest::PumpUntil([&] { return dlg.animating.load(); }, 5000));
        }
        EXPECT_TRUE(g_effectOver) << (layered ? "layered" : "plain")
                                  << ": the worker outlived the dialog it animates";
    }
}
