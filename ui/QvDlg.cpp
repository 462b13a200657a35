// Dialog lifecycle, message dispatch, window region, showing and hiding.
#include "ui/QvDlg.h"

#include "ui/QvApp.h"
#include "base/QvScoped.h"
#include "ui/QvThread.h"

namespace {
constexpr DWORD kAnimationWaitMs = 10000;
}  // namespace

CQvDlg::CQvDlg() {
    // Controls hand their callbacks this object unless they name their own.
    notifyTarget = this;
}

// The members release the layers; the controls belong to the derived dialog.
CQvDlg::~CQvDlg() {
    // The worker moves, paints and reads this dialog until its effect ends.
    // It sends to the window, which this thread may own: serve it meanwhile.
    // The bound is far beyond the longest effect.
    if (animationThread_) QvWaitServingSends(animationThread_.get(), kAnimationWaitMs);
}

void CQvDlg::OnInit() {
    if (isChild) {
        bgSplitV = 2;
        draggable = false;
        roundCorners = false;
    }
    if (roundCorners) SetRoundRgn();
    CreateLayers();
}

void CQvDlg::CreateLayers() {
    qv::ScopedWindowDC dc(hwnd);
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    // A layered dialog compares each frame with the last, pixel by pixel.
    frameLayer.CreateMemDC(dc.get(), rc, false, layered, nullptr);
    frameShown = false;
    bgLayer.CreateMemDC(dc.get(), rc, false, false, nullptr);
    DrawBackground(bgLayer.memDC, rc);
}

void CQvDlg::SetupControls() {
    for (CQvBase* c : controls) {
        c->ownerWnd = hwnd;
        c->bgDC = bgLayer.memDC;
        c->cacheDC = frameLayer.memDC;
        c->layeredMode = layered;
    }
}

LRESULT CQvDlg::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (wnd != hwnd) return ::DefWindowProcW(wnd, msg, wParam, lParam);
    switch (msg) {
    case WM_SIZE:
        OnSize(wParam, lParam);
        return 0;
    case WM_PAINT: {
        qv::ScopedPaint paint(wnd);
        Paint(paint.get());
        return 0;
    }
    case WM_ERASEBKGND:
        return 0;  // every frame is composed off-screen; erasing would flicker
    case WM_KEYDOWN:
        OnKeyDown(wParam, lParam);
        return 0;
    case WM_CHAR:
    case WM_IME_CHAR:
        OnChar(wParam, lParam);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(wParam, lParam);
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown(wParam, lParam);
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(wParam, lParam);
        return 0;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(wParam, lParam);
        return 0;
    case WM_RBUTTONUP:
        OnRButtonUp(wParam, lParam);
        return 0;
    case WM_MOUSEWHEEL:
        OnMouseWheel(LOWORD(wParam), HIWORD(wParam), static_cast<short>(LOWORD(lParam)),
                     static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_MOUSEHOVER:
        OnMouseHover(wParam, lParam);
        return 0;
    case WM_MOUSELEAVE:
        OnMouseLeave(wParam, lParam);
        return 0;
    default:
        return CQvWin::WndProc(wnd, msg, wParam, lParam);
    }
}

void CQvDlg::OnMouseWheel(int, int, int, int) {}
void CQvDlg::OnMouseHover(WPARAM, LPARAM) {}
void CQvDlg::OnSize(WPARAM, LPARAM) {}
void CQvDlg::AfterMouseMove(int, int) {}
void CQvDlg::OnLButtonDblClk(WPARAM, LPARAM) {}
void CQvDlg::DrawContent(HDC) {}

void CQvDlg::SetRoundRgn() {
    if (!hwnd) return;
    roundCorners = true;
    RECT client{};
    ::GetClientRect(hwnd, &client);
    RECT wr{};
    ::GetWindowRect(hwnd, &wr);
    POINT tl{client.left, client.top};
    POINT br{client.right, client.bottom};
    ::ClientToScreen(hwnd, &tl);
    ::ClientToScreen(hwnd, &br);
    const int l = tl.x - wr.left, t = tl.y - wr.top;
    const int r = br.x - wr.left, b = br.y - wr.top;
    const int h = b - t;

    // Each corner loses a two-pixel step: the outermost row is two pixels
    // shorter at both ends, the next one pixel.
    qv::ScopedRgn region(::CreateRectRgn(l, t + 2, r, b - 2));
    qv::ScopedRgn row(::CreateRectRgn(l + 2, t, r - 2, t + 1));
    ::CombineRgn(region.get(), region.get(), row.get(), RGN_OR);
    ::OffsetRgn(row.get(), 0, h - 1);
    ::CombineRgn(region.get(), region.get(), row.get(), RGN_OR);
    ::SetRectRgn(row.get(), l + 1, t + 1, r - 1, t + 2);
    ::CombineRgn(region.get(), region.get(), row.get(), RGN_OR);
    ::OffsetRgn(row.get(), 0, h - 3);
    ::CombineRgn(region.get(), region.get(), row.get(), RGN_OR);
    // The window owns the region once it has taken it.
    if (region && ::SetWindowRgn(hwnd, region.get(), TRUE)) (void)region.release();
}

void CQvDlg::ShowDlg(int effect, bool center, int showCmd) {
    if (animating) return;
    frameShown = false;
    if (center) {
        x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
        ::MoveWindow(hwnd, x, y, width, height, FALSE);
    }
    if (effect == QV_EFFECT_NONE)
        ::ShowWindow(hwnd, showCmd);
    else
        StartAnimation(effect);
    CQvApp& app = CQvApp::Instance();
    if (!app.mainWnd) app.mainWnd = hwnd;
}

void CQvDlg::Hide() {
    frameShown = false;
    ::ShowWindow(hwnd, SW_HIDE);
    hidden = true;
    // A move to (0, 0) makes the controls drop any hover look before the
    // dialog is shown again.
    ::SendMessageW(hwnd, WM_MOUSEMOVE, 0, 0);
}

void CQvDlg::StartAnimation(int effect) {
    pendingEffect = effect;
    HANDLE thread = CQvThread::Instance().StartThread(AnimationThread, this, 0);
    if (thread) animationThread_.reset(thread);
}

unsigned CQvDlg::AnimationThread(void* dialog) {
    auto* dlg = static_cast<CQvDlg*>(dialog);
    if (dlg) dlg->Animate(dlg->pendingEffect);
    return 0;
}
