#include "ui/QvBase.h"

#include "ui/QvApp.h"
#include "base/QvScoped.h"
#include "ui/QvDC.h"
#include "ui/QvFont.h"

namespace {

// A control without an owner draws on the application's main window.
HWND OwnerWindow(HWND& ownerWnd) {
    if (!ownerWnd) ownerWnd = CQvApp::Instance().mainWnd;
    return ownerWnd;
}

// Repaints a control's rectangle on its window at once: the background
// under it, then the control itself unless it is being erased.
void RepaintControl(CQvBase& c, bool draw, bool updateCache) {
    HWND wnd = OwnerWindow(c.ownerWnd);
    if (!wnd) return;
    qv::ScopedWindowDC dc(wnd);
    if (!dc) return;
    RECT r;
    c.GetRect(r);
    if (c.layeredMode) {
        // A layered window is presented whole: start from the composed
        // frame and keep the result as the new one, also when erasing, so
        // a sibling's repaint cannot bring a hidden control back.
        RECT wr{};
        ::GetWindowRect(wnd, &wr);
        CQvDC mem(dc.get(), wr, false, true, wnd);
        if (!mem.memDC) return;
        if (c.cacheDC)
            ::BitBlt(mem.memDC, 0, 0, wr.right - wr.left, wr.bottom - wr.top, c.cacheDC, 0, 0,
                     SRCCOPY);
        if (c.bgDC)
            ::BitBlt(mem.memDC, r.left, r.top, c.width, c.height, c.bgDC, r.left, r.top, SRCCOPY);
        if (draw) c.DrawAt(mem.memDC, r.left, r.top);
        if (c.cacheDC)
            ::BitBlt(c.cacheDC, r.left, r.top, c.width, c.height, mem.memDC, r.left, r.top,
                     SRCCOPY);
        mem.Draw();
    } else {
        CQvDC mem(dc.get(), r, false, false, wnd);
        if (!mem.memDC) return;
        if (c.bgDC) ::BitBlt(mem.memDC, 0, 0, c.width, c.height, c.bgDC, r.left, r.top, SRCCOPY);
        if (draw) c.DrawAt(mem.memDC, 0, 0);
        if (draw && updateCache && c.cacheDC)
            ::BitBlt(c.cacheDC, r.left, r.top, c.width, c.height, mem.memDC, 0, 0, SRCCOPY);
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
