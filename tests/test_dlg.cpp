// Skinned dialog: painting, layers, input routing, dragging, resizing,
// window region and showing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/QvApp.h"
#include "base/QvScoped.h"
#include "support/TestUtil.h"
#include "ui/QvDlg.h"

namespace {

struct AppNamed {
    AppNamed() { CQvApp::Instance().SetAppName(L"QvDlgTest"); }
};
const AppNamed named;

// A windowless control that records what the dialog hands it and paints
// itself as a solid block.
class Probe : public CQvBase {
public:
    struct Event {
        int x, y, code;
        void* target;
    };
    Probe(int px, int py, int w, int h, COLORREF c) : color(c) {
        x = px;
        y = py;
        width = w;
        height = h;
    }
    void Paint(HDC dc) override {
        ++paints;
        RECT rc{x, y, x + width, y + height};
        HBRUSH b = ::CreateSolidBrush(color);
        ::FillRect(dc, &rc, b);
        ::DeleteObject(b);
    }
    bool OnMouse(int mx, int my, int code, void* target) override {
        events.push_back({mx, my, code, target});
        return false;
    }
    COLORREF color;
    int paints = 0;
    std::vector<Event> events;
};

class EditProbe : public Probe, public CQvKeySink {
public:
    using Probe::Probe;
    void OnKeyDown(WPARAM w, LPARAM) override { keys.push_back(static_cast<int>(w)); }
    void OnChar(WPARAM w, LPARAM) override { chars.push_back(static_cast<int>(w)); }
    std::vector<int> keys, chars;
};

// Records window drags instead of entering the system's move loop, and the
// moves that still reach AfterMouseMove.
class TestDlg : public CQvDlg {
public:
    TestDlg() { bgImageId = 0; }
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_NCLBUTTONDOWN && wParam == HTCAPTION) {
            ++drags;
            return 0;
        }
        return CQvDlg::WndProc(wnd, msg, wParam, lParam);
    }
    void AfterMouseMove(int mx, int my) override { afterMoves.push_back({mx, my}); }
    int drags = 0;
    std::vector<POINT> afterMoves;
};

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

}  // namespace

TEST(Dlg, DragStartsOnlyFromFreeAreaOfCaptionBand) {
    TestDlg dlg;
    Probe button(100, 5, 60, 20, RGB(255, 0, 0));
    Probe label(10, 5, 60, 20, RGB(0, 255, 0));
    label.passDrag = true;
    dlg.controls = {&button, &label};
    ASSERT_TRUE(dlg.Create(0, 0, 300, 200, 0, false, nullptr, 0));

    ::SendMessageW(dlg.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(200, 10));
    EXPECT_EQ(1, dlg.drags) << "free point in the caption band";
    ::SendMessageW(dlg.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(20, 10));
    EXPECT_EQ(2, dlg.drags) << "a pass-drag label does not block dragging";
    ::SendMessageW(dlg.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(160, 25));
    EXPECT_EQ(2, dlg.drags) << "edges of a button are inclusive";
    ::SendMessageW(dlg.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(200, 30));
    EXPECT_EQ(2, dlg.drags) << "below the caption band";

    dlg.dragAnywhere = true;
    ::SendMessageW(dlg.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(200, 150));
    EXPECT_EQ(3, dlg.drags);
    dlg.draggable = false;
    ::SendMessageW(dlg.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(200, 10));
    EXPECT_EQ(3, dlg.drags);

    // Every press still reached both controls, with the dialog as target.
    ASSERT_EQ(6u, button.events.size());
    for (const auto& e : button.events) {
        EXPECT_EQ(QV_MOUSE_LDOWN, e.code);
        EXPECT_EQ(&dlg, e.target);
    }
    EXPECT_EQ(6u, label.events.size());
}

TEST(Dlg, ReleasesGoToOwnTargetPressesAndMovesToDialogs) {
    TestDlg dlg;
    Probe own(10, 40, 50, 20, 0), plain(80, 40, 50, 20, 0);
    int marker = 0;
    own.notifyTarget = &marker;
    dlg.controls = {&own, &plain};
    ASSERT_TRUE(dlg.Create(0, 0, 200, 100, 0, false, nullptr, 0));

    ::SendMessageW(dlg.hwnd, WM_MOUSEMOVE, 0, At(15, 45));
    ::SendMessageW(dlg.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(15, 45));
    ::SendMessageW(dlg.hwnd, WM_LBUTTONUP, 0, At(15, 45));
    ::SendMessageW(dlg.hwnd, WM_RBUTTONUP, 0, At(15, 45));
    ASSERT_EQ(4u, own.events.size());
    EXPECT_EQ(&dlg, own.events[0].target);
    EXPECT_EQ(&dlg, own.events[1].target);
    EXPECT_EQ(QV_MOUSE_LUP, own.events[2].code);
    EXPECT_EQ(&marker, own.events[2].target);
    EXPECT_EQ(QV_MOUSE_RUP, own.events[3].code);
    EXPECT_EQ(&marker, own.events[3].target);
    ASSERT_EQ(4u, plain.events.size());
    EXPECT_EQ(&dlg, plain.events[2].target);
    EXPECT_EQ(&dlg, plain.events[3].target);
}

TEST(Dlg, LockedAndHiddenControlsGetNoInput) {
    TestDlg dlg;
    Probe locked(0, 0, 10, 10, 0), hidden(0, 0, 10, 10, 0), live(0, 0, 10, 10, 0);
    locked.locked = true;
    hidden.visible = false;
    dlg.controls = {&locked, &hidden, &live};
    ASSERT_TRUE(dlg.Create(0, 0, 100, 100, 0, false, nullptr, 0));
    ::SendMessageW(dlg.hwnd, WM_MOUSEMOVE, 0, At(5, 5));
    ::SendMessageW(dlg.hwnd, WM_LBUTTONUP, 0, At(5, 5));
    EXPECT_TRUE(locked.events.empty());
    EXPECT_TRUE(hidden.events.empty());
    EXPECT_EQ(2u, live.events.size());
}

TEST(Dlg, MouseLeaveSendsOneFarMoveAndRearmsTracking) {
    TestDlg dlg;
    Probe p(0, 0, 50, 50, 0);
    dlg.controls = {&p};
    ASSERT_TRUE(dlg.Create(0, 0, 100, 100, 0, false, nullptr, 0));
    ::SendMessageW(dlg.hwnd, WM_MOUSEMOVE, 0, At(10, 10));
    EXPECT_TRUE(dlg.leaveTracking);
    p.events.clear();
    ::SendMessageW(dlg.hwnd, WM_MOUSELEAVE, 0, 0);
    ASSERT_EQ(1u, p.events.size());
    EXPECT_EQ(65535, p.events[0].x);
    EXPECT_EQ(0, p.events[0].y);
    EXPECT_EQ(QV_MOUSE_MOVE, p.events[0].code);
    EXPECT_FALSE(dlg.leaveTracking);
}

TEST(Dlg, SuspendedInputSkipsControlsButNotAfterMouseMove) {
    TestDlg dlg;
    dlg.bgColor = RGB(0, 0, 255);
    Probe p(10, 10, 20, 20, RGB(255, 0, 0));
    EditProbe edit(50, 10, 20, 20, RGB(0, 255, 0));
    edit.typeName = L"CQvEditEx";
    dlg.controls = {&p, &edit};
    ASSERT_TRUE(dlg.Create(0, 0, 100, 60, 0, false, nullptr, 0));

    // A normal frame paints the controls and keeps a copy in the frame layer.
    qvtest::Pixels before;
    {
        qv::ScopedWindowDC wdc(dlg.hwnd);
        dlg.Paint(wdc.get());
    }
    before = qvtest::ReadBitmap(dlg.frameLayer.bitmap);
    ASSERT_EQ(100, before.width);
    EXPECT_EQ(0x00FF0000u, before.at(15, 15) & 0xFFFFFF);
    EXPECT_EQ(0x000000FFu, before.at(5, 5) & 0xFFFFFF);

    dlg.inputSuspended = true;
    const int paints = p.paints;
    p.color = RGB(255, 255, 0);
    {
        qv::ScopedWindowDC wdc(dlg.hwnd);
        dlg.Paint(wdc.get());
    }
    EXPECT_EQ(paints, p.paints);
    EXPECT_EQ(before.px, qvtest::ReadBitmap(dlg.frameLayer.bitmap).px)
        << "the frame layer keeps the last frame that had controls";

    ::SendMessageW(dlg.hwnd, WM_MOUSEMOVE, 0, At(15, 15));
    ::SendMessageW(dlg.hwnd, WM_LBUTTONDOWN, 0, At(15, 15));
    ::SendMessageW(dlg.hwnd, WM_KEYDOWN, 'A', 0);
    EXPECT_TRUE(p.events.empty());
    EXPECT_TRUE(edit.keys.empty());
    ASSERT_EQ(1u, dlg.afterMoves.size());
    EXPECT_EQ(15, dlg.afterMoves[0].x);
}

TEST(Dlg, KeysReachOnlyEditControls) {
    TestDlg dlg;
    EditProbe edit(0, 0, 10, 10, 0), other(0, 0, 10, 10, 0), wrongCase(0, 0, 10, 10, 0);
    edit.typeName = L"CQvEditEx";
    wrongCase.typeName = L"cqveditex";
    EditProbe sink(0, 0, 1, 1, 0);
    Probe delegating(0, 0, 10, 10, 0);  // names another object as its sink
    delegating.typeName = L"CQvEditEx";
    delegating.keySink = &sink;
    dlg.controls = {&edit, &other, &wrongCase, &delegating};
    ASSERT_TRUE(dlg.Create(0, 0, 100, 60, 0, false, nullptr, 0));
    ::SendMessageW(dlg.hwnd, WM_KEYDOWN, VK_LEFT, 0);
    ::SendMessageW(dlg.hwnd, WM_CHAR, L'x', 0);
    ::SendMessageW(dlg.hwnd, WM_IME_CHAR, L'中', 0);
    EXPECT_EQ(std::vector<int>{VK_LEFT}, edit.keys);
    EXPECT_EQ((std::vector<int>{L'x', L'中'}), edit.chars);
    EXPECT_TRUE(other.keys.empty() && other.chars.empty());
    EXPECT_TRUE(wrongCase.keys.empty() && wrongCase.chars.empty());
    EXPECT_EQ(std::vector<int>{VK_LEFT}, sink.keys);
    EXPECT_EQ(2u, sink.chars.size());
}

TEST(Dlg, PlainBackgroundIsOpaqueOnLayeredBuffer) {
    TestDlg dlg;
    dlg.bgColor = RGB(0x12, 0x34, 0x56);
    ASSERT_TRUE(dlg.Create(0, 0, 40, 30, 0, true, nullptr, 0));
    qv::ScopedWindowDC wdc(dlg.hwnd);
    RECT rc{0, 0, 40, 30};
    CQvDC buffer(wdc.get(), rc, false, true, dlg.hwnd);
    dlg.DrawBackground(buffer.memDC, rc);
    qvtest::Pixels px = qvtest::ReadBitmap(buffer.bitmap);
    EXPECT_EQ(0xFF123456u, px.at(0, 0));
    EXPECT_EQ(0xFF123456u, px.at(39, 29));
}

TEST(Dlg, ChildCopiesItsRectangleFromParentBackground) {
    TestDlg parent;
    ASSERT_TRUE(parent.Create(0, 0, 200, 200, 0, false, nullptr, 0));
    // A parent background with a distinct colour at (30, 40).
    qv::ScopedWindowDC wdc(parent.hwnd);
    RECT prc{0, 0, 200, 200};
    CQvDC parentBg(wdc.get(), prc, false, false, nullptr);
    HBRUSH grey = ::CreateSolidBrush(RGB(50, 50, 50));
    ::FillRect(parentBg.memDC, &prc, grey);
    ::DeleteObject(grey);
    ::SetPixel(parentBg.memDC, 30, 40, RGB(200, 10, 10));

    TestDlg child;
    child.parentBgDC = parentBg.memDC;
    ASSERT_TRUE(child.Create(30, 40, 50, 50, 0, false, parent.hwnd, 0));
    EXPECT_TRUE(child.isChild);
    EXPECT_EQ(2, child.bgSplitV);
    EXPECT_FALSE(child.draggable);
    EXPECT_FALSE(child.roundCorners);
    qvtest::Pixels bg = qvtest::ReadBitmap(child.bgLayer.bitmap);
    ASSERT_EQ(50, bg.width);
    EXPECT_EQ(0x00C80A0Au, bg.at(0, 0) & 0xFFFFFF);
    EXPECT_EQ(0x00323232u, bg.at(1, 1) & 0xFFFFFF);
}

TEST(Dlg, SetupControlsHandsOutWindowAndLayers) {
    TestDlg dlg;
    Probe p(0, 0, 10, 10, 0);
    p.visible = false;
    dlg.controls = {&p};
    ASSERT_TRUE(dlg.Create(0, 0, 80, 60, 0, true, nullptr, 0));
    EXPECT_EQ(dlg.hwnd, p.ownerWnd);
    EXPECT_EQ(dlg.bgLayer.memDC, p.bgDC);
    EXPECT_EQ(dlg.frameLayer.memDC, p.cacheDC);
    EXPECT_NE(p.bgDC, p.cacheDC);
    EXPECT_TRUE(p.layeredMode);
    EXPECT_EQ(80, dlg.bgLayer.rect.right);
    EXPECT_EQ(60, dlg.frameLayer.rect.bottom);
}

TEST(Dlg, RoundRegionCutsTwoPixelStepsAtEachCorner) {
    TestDlg dlg;
    ASSERT_TRUE(dlg.Create(0, 0, 100, 50, 0, false, nullptr, 0));
    HRGN rgn = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(ERROR, ::GetWindowRgn(dlg.hwnd, rgn));
    struct {
        int x, y;
        bool in;
    } cases[] = {
        {0, 0, false},  {1, 0, false},  {2, 0, true},   {0, 1, false},  {1, 1, true},
        {0, 2, true},   {97, 0, true},  {98, 0, false}, {98, 1, true},  {99, 1, false},
        {99, 2, true},  {0, 49, false}, {1, 48, true},  {2, 49, true},  {0, 47, true},
        {99, 49, false}, {98, 49, false}, {97, 49, true}, {98, 48, true}, {99, 48, false},
        {50, 25, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.in, ::PtInRegion(rgn, c.x, c.y) != 0) << c.x << "," << c.y;
    ::DeleteObject(rgn);
}

TEST(Dlg, ShowDlgCentresWithoutEffectAndNotWhileAnimating) {
    TestDlg dlg;
    ASSERT_TRUE(dlg.Create(3, 4, 450, 230, 0, false, nullptr, 0));
    dlg.animating = true;
    dlg.ShowDlg(-1, true, SW_SHOW);
    EXPECT_EQ(3, dlg.x) << "an effect is running: nothing happens, not even centring";
    EXPECT_FALSE(::IsWindowVisible(dlg.hwnd));

    dlg.animating = false;
    dlg.ShowDlg(-1, true, SW_SHOW);
    const int sx = (::GetSystemMetrics(SM_CXSCREEN) - 450) / 2;
    const int sy = (::GetSystemMetrics(SM_CYSCREEN) - 230) / 2;
    EXPECT_EQ(sx, dlg.x);
    EXPECT_EQ(sy, dlg.y);
    RECT wr{};
    ::GetWindowRect(dlg.hwnd, &wr);
    EXPECT_EQ(sx, wr.left);
    EXPECT_EQ(sy, wr.top);
    EXPECT_TRUE(::IsWindowVisible(dlg.hwnd));
    if (CQvApp::Instance().mainWnd == nullptr) ADD_FAILURE() << "first shown dialog becomes main";
}

TEST(Dlg, HideMarksHiddenAndDropsHover) {
    TestDlg dlg;
    Probe p(0, 0, 10, 10, 0);
    dlg.controls = {&p};
    ASSERT_TRUE(dlg.Create(0, 0, 50, 50, 0, false, nullptr, 0));
    dlg.Show(true);
    dlg.Hide();
    EXPECT_TRUE(dlg.hidden);
    EXPECT_FALSE(::IsWindowVisible(dlg.hwnd));
    ASSERT_EQ(1u, p.events.size());
    EXPECT_EQ(0, p.events[0].x);
    EXPECT_EQ(0, p.events[0].y);
}

TEST(Dlg, ResizeEdgesCursorAndMinimumSize) {
    TestDlg dlg;
    Probe p(0, 0, 300, 300, 0);
    dlg.controls = {&p};
    ASSERT_TRUE(dlg.Create(100, 100, 200, 150, 0, false, nullptr, 0));
    dlg.Show(true);

    // Not resizable: no edge anywhere, moves reach the controls.
    EXPECT_FALSE(dlg.CheckResize(0, 75, false));
    dlg.resizable = true;
    struct {
        int x, y, edge;
    } cases[] = {{3, 145, QV_EDGE_BOTTOM_LEFT}, {195, 145, QV_EDGE_BOTTOM_RIGHT},
                 {4, 75, QV_EDGE_LEFT},         {196, 75, QV_EDGE_RIGHT},
                 {100, 4, QV_EDGE_TOP},         {100, 146, QV_EDGE_BOTTOM},
                 {100, 75, QV_EDGE_NONE},       {250, 75, QV_EDGE_NONE}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.edge != QV_EDGE_NONE, dlg.CheckResize(c.x, c.y, true)) << c.x << "," << c.y;
        EXPECT_EQ(c.edge, dlg.resizeEdge) << c.x << "," << c.y;
        dlg.resizeEdge = QV_EDGE_NONE;
        ::ReleaseCapture();
    }

    // A move over an edge only sets the cursor: controls see nothing.
    p.events.clear();
    ::SendMessageW(dlg.hwnd, WM_MOUSEMOVE, 0, At(2, 75));
    EXPECT_TRUE(p.events.empty());
    EXPECT_TRUE(dlg.afterMoves.empty());

    // A bottom-right resize keeps its corner even when the pointer crosses
    // the left edge region.
    ASSERT_TRUE(dlg.CheckResize(198, 148, true));
    EXPECT_TRUE(dlg.CheckResize(2, 75, false));
    EXPECT_EQ(QV_EDGE_BOTTOM_RIGHT, dlg.resizeEdge);
    ::SetCursorPos(100 + 260, 100 + 190);
    ASSERT_TRUE(dlg.DoResize(true));
    EXPECT_EQ(QV_EDGE_NONE, dlg.resizeEdge);
    EXPECT_EQ(260, dlg.width);
    EXPECT_EQ(190, dlg.height);
    RECT wr{};
    ::GetWindowRect(dlg.hwnd, &wr);
    EXPECT_EQ(260, wr.right - wr.left);
    EXPECT_EQ(260, dlg.bgLayer.rect.right) << "the layers follow the new size";

    // Below the minimum the resize is refused and the window keeps its size.
    ASSERT_TRUE(dlg.CheckResize(4, 100, true));
    EXPECT_EQ(QV_EDGE_LEFT, dlg.resizeEdge);
    ::SetCursorPos(100 + 230, 150);
    EXPECT_FALSE(dlg.DoResize(true));
    EXPECT_EQ(QV_EDGE_NONE, dlg.resizeEdge);
    EXPECT_EQ(260, dlg.width);
    EXPECT_EQ(nullptr, ::GetCapture());
}
