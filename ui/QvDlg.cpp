// Dialog lifecycle, message dispatch, window region, showing and hiding.
#include "ui/QvDlg.h"

#include <objbase.h>

#include "ui/QvApp.h"
#include "base/QvScoped.h"
#include "base/QvSystemDll.h"
#include "ui/QvAccessible.h"
#include "ui/QvDpi.h"
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
    DropAccessible();
}

void CQvDlg::DropAccessible() {
    if (!accessible_) return;
    accessible_->Detach();
    accessible_->Release();
    accessible_ = nullptr;
}

LRESULT CQvDlg::AnswerGetObject(WPARAM wParam, LPARAM lParam) {
    if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT)
        return ::DefWindowProcW(hwnd, WM_GETOBJECT, wParam, lParam);
    auto answer = qv::SystemFn<decltype(&::LresultFromObject)>(L"oleacc.dll", "LresultFromObject");
    if (!answer) return 0;
    // The object is marshalled to the reader through COM, which needs an
    // apartment on this thread; it stays for the thread's life.
    static thread_local bool apartment = false;
    if (!apartment) {
        apartment = true;
        (void)::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }
    if (!accessible_) accessible_ = new CQvAccessible(this);
    return answer(__uuidof(IAccessible), wParam, accessible_);
}

void CQvDlg::OnInit() {
    if (isChild) {
        bgSplitV = 2;
        draggable = false;
        roundCorners = false;
    }
    // The window was made in the dialog's units; on a screen of another
    // DPI it is that much larger.
    dpi = QvWindowDpi(hwnd);
    if (dpi != kQvBaseDpi && !isChild)
        ::SetWindowPos(hwnd, nullptr, 0, 0, QvScale(width, dpi), QvScale(height, dpi),
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (roundCorners) SetRoundRgn();
    CreateLayers();
}

RECT CQvDlg::LogicalClient() const {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    rc.right = QvUnscale(rc.right, dpi);
    rc.bottom = QvUnscale(rc.bottom, dpi);
    return rc;
}

void CQvDlg::CreateLayers() {
    qv::ScopedWindowDC dc(hwnd);
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    // A layered dialog compares each frame with the last, pixel by pixel.
    frameLayer.CreateMemDC(dc.get(), rc, false, layered, nullptr);
    QvSetDpiTransform(frameLayer.memDC, dpi);
    frameShown = false;
    bgLayer.CreateMemDC(dc.get(), rc, false, false, nullptr);
    QvSetDpiTransform(bgLayer.memDC, dpi);
    DrawBackground(bgLayer.memDC, LogicalClient());
}

void CQvDlg::SetupControls() {
    for (CQvBase* c : controls) {
        c->ownerWnd = hwnd;
        c->bgDC = bgLayer.memDC;
        c->cacheDC = frameLayer.memDC;
        c->layeredMode = layered;
        c->dpi = dpi;
    }
}

void CQvDlg::OnDpiChanged(UINT newDpi, const RECT* suggested) {
    dpi = newDpi;
    if (suggested)
        ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    RECT wr{};
    ::GetWindowRect(hwnd, &wr);
    x = wr.left;
    y = wr.top;
    composeLayer.CreateMemDC(nullptr, wr, false, true, hwnd);  // remade at the next frame
    CreateLayers();
    SetupControls();
    if (roundCorners) SetRoundRgn();
    Redraw();
}

LRESULT CQvDlg::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (wnd != hwnd) return ::DefWindowProcW(wnd, msg, wParam, lParam);
    // Controls are placed in the dialog's units: so is the mouse.
    if (dpi != kQvBaseDpi && msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK)
        lParam = MAKELPARAM(QvUnscale(LOWORD(lParam), dpi), QvUnscale(HIWORD(lParam), dpi));
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
    case WM_GETOBJECT:
        return AnswerGetObject(wParam, lParam);
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_QV_PRESS:
        if (wParam < controls.size()) PressControl(controls[wParam]);
        return 0;
    case WM_DESTROY:
        DropAccessible();
        return CQvWin::WndProc(wnd, msg, wParam, lParam);
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
        const int w = QvScale(width, dpi), h = QvScale(height, dpi);
        x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2;
        y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
        ::MoveWindow(hwnd, x, y, w, h, FALSE);
    }
    if (effect == QV_EFFECT_NONE) {
        ::ShowWindow(hwnd, showCmd);
    } else {
        // A fade starts at its first frame: nothing painted before the
        // worker's first step, such as the frame posted by Create, goes
        // out opaque.
        if (effect == QV_EFFECT_FADE_IN) SetAlpha(0);
        StartAnimation(effect);
    }
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
