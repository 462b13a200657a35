// Mouse and keyboard input of a dialog: hit-testing its controls, dragging
// the window by its free area and resizing it by its borders.
#include <typeinfo>

#include "ui/QvDlg.h"
#include "ui/QvDpi.h"

namespace {

// Client coordinates as the controls expect them: the raw 16-bit words, so
// the synthetic leave move at 65535 stays far outside every control.
int MouseX(LPARAM lParam) { return LOWORD(lParam); }
int MouseY(LPARAM lParam) { return HIWORD(lParam); }

// Keyboard receivers are controls tagged "CQvEditEx"; they name a sink or
// implement the sink interface themselves.
CQvKeySink* KeySinkOf(CQvBase* control) {
    if (control->typeName != L"CQvEditEx") return nullptr;
    if (control->keySink) return control->keySink;
    return dynamic_cast<CQvKeySink*>(control);
}

}  // namespace

bool CQvDlg::Eligible(const CQvBase* control) {
    return control->visible && !control->locked;
}

void CQvDlg::OnMouseMove(WPARAM, LPARAM lParam) {
    const int mx = MouseX(lParam), my = MouseY(lParam);
    if (!leaveTracking) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
        ::TrackMouseEvent(&track);
        leaveTracking = true;
    }
    if (CheckResize(mx, my, false)) {
        if (liveResize) DoResize(false);
        return;
    }
    if (!inputSuspended) {
        for (CQvBase* c : controls)
            if (Eligible(c)) c->OnMouse(mx, my, QV_MOUSE_MOVE, notifyTarget);
    }
    AfterMouseMove(mx, my);
}

void CQvDlg::OnMouseLeave(WPARAM, LPARAM) {
    // A move far outside every control returns hovered controls to normal.
    ::SendMessageW(hwnd, WM_MOUSEMOVE, 0xFFFFFFFF, 0xFFFF);
    leaveTracking = false;
}

void CQvDlg::OnLButtonDown(WPARAM, LPARAM lParam) {
    const int mx = MouseX(lParam), my = MouseY(lParam);
    if (CheckResize(mx, my, true)) return;
    if (draggable && (dragAnywhere || my < captionHeight) && CanDrag(mx, my)) {
        // The system moves the window until the button is released.
        ::SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    }
    if (!inputSuspended) {
        for (CQvBase* c : controls)
            if (Eligible(c)) c->OnMouse(mx, my, QV_MOUSE_LDOWN, notifyTarget);
    }
}

void CQvDlg::OnLButtonUp(WPARAM, LPARAM lParam) {
    if (DoResize(true)) return;
    if (inputSuspended) return;
    const int mx = MouseX(lParam), my = MouseY(lParam);
    for (CQvBase* c : controls)
        if (Eligible(c))
            c->OnMouse(mx, my, QV_MOUSE_LUP, c->notifyTarget ? c->notifyTarget : notifyTarget);
}

void CQvDlg::OnRButtonUp(WPARAM, LPARAM lParam) {
    if (inputSuspended) return;
    const int mx = MouseX(lParam), my = MouseY(lParam);
    for (CQvBase* c : controls)
        if (Eligible(c))
            c->OnMouse(mx, my, QV_MOUSE_RUP, c->notifyTarget ? c->notifyTarget : notifyTarget);
}

void CQvDlg::OnKeyDown(WPARAM wParam, LPARAM lParam) {
    if (inputSuspended) return;
    bool typing = false;
    for (CQvBase* c : controls)
        if (Eligible(c))
            if (CQvKeySink* sink = KeySinkOf(c)) {
                sink->OnKeyDown(wParam, lParam);
                typing = true;
            }
    // Where a control takes typing, Space and Enter are its own; Tab and
    // Escape still move on and cancel.
    if (typing && wParam != VK_TAB && wParam != VK_ESCAPE) return;
    OnDialogKey(wParam, lParam);
}

void CQvDlg::OnChar(WPARAM wParam, LPARAM lParam) {
    if (inputSuspended) return;
    for (CQvBase* c : controls)
        if (Eligible(c))
            if (CQvKeySink* sink = KeySinkOf(c)) sink->OnChar(wParam, lParam);
}

bool CQvDlg::CanDrag(int px, int py) {
    for (const CQvBase* c : controls) {
        if (!c->visible || c->passDrag) continue;
        if (px >= c->x && px <= c->x + c->width && py >= c->y && py <= c->y + c->height)
            return false;
    }
    return true;
}

bool CQvDlg::CheckResize(int px, int py, bool begin) {
    if (!resizable) return false;
    const RECT rc = LogicalClient();
    const int r = rc.right, b = rc.bottom;
    if (resizeEdge == QV_EDGE_NONE && (px < 0 || px > r || py < 0 || py > b)) return false;

    // A resize in progress keeps its edge wherever the pointer goes.
    LPCWSTR cursor;
    int edge;
    if (resizeEdge == QV_EDGE_BOTTOM_LEFT || (px < 8 && py > b - 8)) {
        cursor = IDC_SIZENESW;
        edge = QV_EDGE_BOTTOM_LEFT;
    } else if (resizeEdge == QV_EDGE_BOTTOM_RIGHT || (px > r - 8 && py > b - 8)) {
        cursor = IDC_SIZENWSE;
        edge = QV_EDGE_BOTTOM_RIGHT;
    } else if (resizeEdge == QV_EDGE_LEFT || px < 5) {
        cursor = IDC_SIZEWE;
        edge = QV_EDGE_LEFT;
    } else if (resizeEdge == QV_EDGE_RIGHT || px > r - 5) {
        cursor = IDC_SIZEWE;
        edge = QV_EDGE_RIGHT;
    } else if (resizeEdge == QV_EDGE_TOP || py < 5) {
        cursor = IDC_SIZENS;
        edge = QV_EDGE_TOP;
    } else if (resizeEdge == QV_EDGE_BOTTOM || py > b - 5) {
        cursor = IDC_SIZENS;
        edge = QV_EDGE_BOTTOM;
    } else {
        return false;
    }
    ::SetCursor(::LoadCursorW(nullptr, cursor));
    if (begin) {
        resizeEdge = edge;
        ::SetCapture(hwnd);
    }
    return true;
}

bool CQvDlg::DoResize(bool end) {
    if (!resizable) return false;
    POINT pt{};
    ::GetCursorPos(&pt);
    RECT wr{};
    ::GetWindowRect(hwnd, &wr);
    switch (resizeEdge) {
    case QV_EDGE_LEFT: wr.left = pt.x; break;
    case QV_EDGE_TOP: wr.top = pt.y; break;
    case QV_EDGE_RIGHT: wr.right = pt.x; break;
    case QV_EDGE_BOTTOM: wr.bottom = pt.y; break;
    case QV_EDGE_BOTTOM_LEFT: wr.left = pt.x; wr.bottom = pt.y; break;
    case QV_EDGE_BOTTOM_RIGHT: wr.right = pt.x; wr.bottom = pt.y; break;
    default: return false;  // no resize under way: nothing to apply
    }
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    if (w < QvScale(minWidth, dpi) || h < QvScale(minHeight, dpi)) {
        ::ReleaseCapture();
        resizeEdge = QV_EDGE_NONE;
        return false;
    }
    x = wr.left;
    y = wr.top;
    width = QvUnscale(w, dpi);
    height = QvUnscale(h, dpi);
    ::MoveWindow(hwnd, x, y, w, h, TRUE);
    // The layers follow the new size, or controls would erase themselves
    // from a background of the old size.
    CreateLayers();
    SetupControls();
    if (roundCorners) SetRoundRgn();
    if (end) {
        resizeEdge = QV_EDGE_NONE;
        ::ReleaseCapture();
    }
    Redraw();
    return true;
}
