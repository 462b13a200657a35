#include "ui/QvBase.h"

#include <oleacc.h>

#include "ui/QvApp.h"
#include "base/QvScoped.h"
#include "ui/QvDC.h"
#include "ui/QvDpi.h"
#include "ui/QvFade.h"
#include "ui/QvFont.h"
#include "ui/QvFrameDiff.h"

namespace {

// A control without an owner draws on the application's main window.
HWND OwnerWindow(HWND& ownerWnd) {
    if (!ownerWnd) ownerWnd = CQvApp::Instance().mainWnd;
    return ownerWnd;
}

// Repaints a control's rectangle on its window at once: the background
// under it, then the control itself unless it is being erased. The
// control draws in its dialog's units; the copies are in device pixels.
void RepaintControl(CQvBase& c, bool draw, bool updateCache) {
    HWND wnd = OwnerWindow(c.ownerWnd);
    if (!wnd) return;
    qv::ScopedWindowDC dc(wnd);
    if (!dc) return;
    RECT r;
    c.GetRect(r);
    const RECT d{QvScale(r.left, c.dpi), QvScale(r.top, c.dpi), QvScale(r.right, c.dpi),
                 QvScale(r.bottom, c.dpi)};
    const int dw = d.right - d.left, dh = d.bottom - d.top;
    if (c.layeredMode) {
        // A layered window is presented whole: start from the composed
        // frame and keep the result as the new one, also when erasing, so
        // a sibling's repaint cannot bring a hidden control back.
        RECT wr{};
        ::GetWindowRect(wnd, &wr);
        CQvDC mem(dc.get(), wr, false, true, wnd);
        if (!mem.memDC) return;
        QvSetDpiTransform(mem.memDC, c.dpi);
        mem.alpha = qv::WindowFade(wnd);  // mid-fade, not at full opacity
        if (c.cacheDC)
            QvCopyDevice(mem.memDC, 0, 0, wr.right - wr.left, wr.bottom - wr.top, c.cacheDC, 0, 0);
        if (c.bgDC) QvCopyDevice(mem.memDC, d.left, d.top, dw, dh, c.bgDC, d.left, d.top);
        if (draw) c.DrawAt(mem.memDC, r.left, r.top);
        if (draw && c.focusMarked) c.DrawFocusMark(mem.memDC, r.left, r.top);
        if (c.cacheDC) QvCopyDevice(c.cacheDC, d.left, d.top, dw, dh, mem.memDC, d.left, d.top);
        mem.Draw();
    } else {
        RECT at = d;
        CQvDC mem(dc.get(), at, false, false, wnd);
        if (!mem.memDC) return;
        QvSetDpiTransform(mem.memDC, c.dpi);
        if (c.bgDC) QvCopyDevice(mem.memDC, 0, 0, dw, dh, c.bgDC, d.left, d.top);
        if (draw) c.DrawAt(mem.memDC, 0, 0);
        if (draw && c.focusMarked) c.DrawFocusMark(mem.memDC, 0, 0);
        if (draw && updateCache && c.cacheDC)
            QvCopyDevice(c.cacheDC, d.left, d.top, dw, dh, mem.memDC, 0, 0);
        mem.Draw();
    }
}

}  // namespace

int QvCaptionOffsetY() {
    return CQvFont::Instance().isSupportYaHei() ? 0 : 2;
}

CQvBase::CQvBase() : font(CQvFont::Instance().GetFont(0, nullptr, 0, 0, 0)) {}
CQvBase::~CQvBase() = default;

void CQvBase::DrawAt(HDC, int, int) {}

bool CQvBase::OnMouse(int, int, int, void*) {
    return false;
}

bool CQvBase::CanFocus() const {
    return false;
}

void CQvBase::Press(void* downTarget, void* clickTarget) {
    // The very path of a click: press and release at the control's centre.
    RECT r;
    GetRect(r);
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    OnMouse(cx, cy, QV_MOUSE_LDOWN, downTarget);
    OnMouse(cx, cy, QV_MOUSE_LUP, clickTarget);
}

void CQvBase::DrawFocusMark(HDC dc, int px, int py) const {
    // Every other pixel of a rectangle three pixels inside the control, as
    // the system draws focus; opaque, for a layered window shows alpha.
    // Drawn in device pixels: a dotted line stays one pixel at any DPI.
    constexpr int kInset = 3;
    constexpr DWORD kDot = 0xFF303030;
    const RECT d = QvToDevice(dc, RECT{px, py, px + width, py + height});
    const int inset = QvScale(kInset, dpi);
    const int left = d.left + inset, top = d.top + inset;
    const int right = d.right - inset - 1, bottom = d.bottom - inset - 1;
    if (right <= left || bottom <= top) return;
    QvDeviceSpace device(dc);
    qv::DibRows dib;
    const bool direct = qv::DibRowsOf(dc, &dib);
    auto dot = [&](int dx, int dy) {
        if (((dx + dy) & 1) != 0) return;
        if (!direct) {
            ::SetPixelV(dc, dx, dy, RGB(0x30, 0x30, 0x30));
            return;
        }
        if (dx < 0 || dy < 0 || dx >= dib.width || dy >= dib.height) return;
        dib.first[dy * dib.stride + dx] = kDot;
    };
    if (direct) ::GdiFlush();
    for (int i = left; i <= right; ++i) {
        dot(i, top);
        dot(i, bottom);
    }
    for (int j = top; j <= bottom; ++j) {
        dot(left, j);
        dot(right, j);
    }
}

std::wstring CQvBase::AccessibleName() const {
    return accName;
}

long CQvBase::AccessibleRole() const {
    return accRole ? accRole : ROLE_SYSTEM_STATICTEXT;
}

long CQvBase::AccessibleState() const {
    return STATE_SYSTEM_READONLY;
}

std::wstring CQvBase::AccessibleValue() const {
    return std::wstring();
}

std::wstring CQvBase::DefaultAction() const {
    return std::wstring();
}

void CQvBase::GetRect(RECT& r) {
    r.left = x - originX;
    r.top = y - originY;
    r.right = r.left + width;
    r.bottom = r.top + height;
}

bool CQvBase::IsInWindow() {
    if (!visible) return false;
    HWND wnd = OwnerWindow(ownerWnd);
    RECT wr{};
    if (!wnd || !::GetWindowRect(wnd, &wr)) return false;
    RECT r;
    GetRect(r);
    return r.bottom >= 0 && r.top <= wr.bottom - wr.top && r.right >= 0 &&
           r.left <= wr.right - wr.left;
}

void CQvBase::Refresh(bool updateCache) {
    if (IsInWindow()) RepaintControl(*this, true, updateCache);
}

void CQvBase::Show(bool show) {
    visible = show;
    if (show)
        Refresh(false);
    else
        RepaintControl(*this, false, false);  // erase with the background
}
