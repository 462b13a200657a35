#include "ui/QvBase.h"

#include "app/QvApp.h"
#include "base/QvScoped.h"
#include "ui/QvDC.h"
#include "ui/QvFont.h"

namespace {

// A control without an owner draws on the application's main window.
HWND OwnerWindow(HWND& ownerWnd) {
    if (!ownerWnd) ownerWnd = CQvApp::Instance().mainWnd;
    return ownerWnd;
}

}  // namespace

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
    if (!IsInWindow()) return;
    HWND wnd = OwnerWindow(ownerWnd);
    qv::ScopedWindowDC dc(wnd);
    if (!dc) return;
    RECT r;
    GetRect(r);
    if (layeredMode) {
        // A layered window is presented whole: start from the composed
        // frame, redraw this control over its background, and keep the
        // result as the new composed frame.
        RECT wr{};
        ::GetWindowRect(wnd, &wr);
        CQvDC mem(dc.get(), wr, false, true, wnd);
        if (!mem.memDC) return;
        if (cacheDC)
            ::BitBlt(mem.memDC, 0, 0, wr.right - wr.left, wr.bottom - wr.top, cacheDC, 0, 0,
                     SRCCOPY);
        if (bgDC) ::BitBlt(mem.memDC, r.left, r.top, width, height, bgDC, r.left, r.top, SRCCOPY);
        DrawAt(mem.memDC, r.left, r.top);
        if (cacheDC)
            ::BitBlt(cacheDC, r.left, r.top, width, height, mem.memDC, r.left, r.top, SRCCOPY);
        mem.Draw();
    } else {
        CQvDC mem(dc.get(), r, false, false, wnd);
        if (!mem.memDC) return;
        if (bgDC) ::BitBlt(mem.memDC, 0, 0, width, height, bgDC, r.left, r.top, SRCCOPY);
        DrawAt(mem.memDC, 0, 0);
        if (updateCache && cacheDC)
            ::BitBlt(cacheDC, r.left, r.top, width, height, mem.memDC, 0, 0, SRCCOPY);
        mem.Draw();
    }
}

void CQvBase::Show(bool show) {
    visible = show;
    if (show) {
        Refresh(false);
        return;
    }
    HWND wnd = OwnerWindow(ownerWnd);
    if (!wnd) return;
    qv::ScopedWindowDC dc(wnd);
    if (!dc) return;
    RECT r;
    GetRect(r);
    if (layeredMode) {
        RECT wr{};
        ::GetWindowRect(wnd, &wr);
        CQvDC mem(dc.get(), wr, false, true, wnd);
        if (!mem.memDC) return;
        if (cacheDC)
            ::BitBlt(mem.memDC, 0, 0, wr.right - wr.left, wr.bottom - wr.top, cacheDC, 0, 0,
                     SRCCOPY);
        if (bgDC) {
            ::BitBlt(mem.memDC, r.left, r.top, width, height, bgDC, r.left, r.top, SRCCOPY);
            // The composed frame is the start of every later repaint of a
            // sibling: left holding this control, it would bring it back.
            if (cacheDC)
                ::BitBlt(cacheDC, r.left, r.top, width, height, bgDC, r.left, r.top, SRCCOPY);
        }
        mem.Draw();
    } else {
        CQvDC mem(dc.get(), r, false, false, wnd);
        if (!mem.memDC) return;
        if (bgDC) ::BitBlt(mem.memDC, 0, 0, width, height, bgDC, r.left, r.top, SRCCOPY);
        mem.Draw();
    }
}
