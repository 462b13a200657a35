// A dialog's keyboard focus: which control has it, how the keys move it and
// press controls, and the mark that shows it.
#include <oleacc.h>

#include <algorithm>

#include "ui/QvDlg.h"

namespace {

bool IsRepeat(LPARAM lParam) {
    return (lParam & (1 << 30)) != 0;  // the key was already down
}

}  // namespace

bool CQvDlg::Focusable(const CQvBase* control) const {
    return control && Eligible(control) && control->CanFocus() &&
           std::find(controls.begin(), controls.end(), control) != controls.end();
}

CQvBase* CQvDlg::FocusedControl() const {
    return Focusable(focus_) ? focus_ : nullptr;
}

std::vector<CQvBase*> CQvDlg::AccessibleControls() const {
    std::vector<CQvBase*> seen;
    for (CQvBase* c : controls)
        if (c->visible && !c->accHidden) seen.push_back(c);
    return seen;
}

LONG CQvDlg::AccessibleIndex(const CQvBase* control) const {
    std::vector<CQvBase*> seen = AccessibleControls();
    auto at = std::find(seen.begin(), seen.end(), control);
    return at == seen.end() ? 0 : static_cast<LONG>(at - seen.begin()) + 1;
}

bool CQvDlg::SetFocusControl(CQvBase* control, bool showMark) {
    if (control && !Focusable(control)) return false;
    if (showMark) focusCues = true;
    CQvBase* old = focus_;
    focus_ = control;
    if (old && old != control && old->focusMarked) {
        old->focusMarked = false;
        // A move far outside drops the look the focus gave it.
        old->OnMouse(0xFFFF, 0xFFFF, QV_MOUSE_MOVE, notifyTarget);
        if (hwnd) old->Refresh(true);
    }
    if (control && focusCues && !control->focusMarked) {
        control->focusMarked = true;
        if (hwnd) {
            // The focused control looks as it does under the mouse, with
            // the dotted mark on top.
            RECT r;
            control->GetRect(r);
            control->OnMouse((r.left + r.right) / 2, (r.top + r.bottom) / 2, QV_MOUSE_MOVE,
                             notifyTarget);
            control->Refresh(true);
        }
    }
    if (control && hwnd && control != old)
        if (LONG id = AccessibleIndex(control))
            ::NotifyWinEvent(EVENT_OBJECT_FOCUS, hwnd, OBJID_CLIENT, id);
    return true;
}

void CQvDlg::MoveFocus(int step) {
    std::vector<CQvBase*> order;
    for (CQvBase* c : controls)
        if (Focusable(c)) order.push_back(c);
    if (order.empty()) return;
    auto at = std::find(order.begin(), order.end(), FocusedControl());
    int next;
    if (at == order.end())
        next = step > 0 ? 0 : static_cast<int>(order.size()) - 1;
    else
        next = (static_cast<int>(at - order.begin()) + step + static_cast<int>(order.size())) %
               static_cast<int>(order.size());
    SetFocusControl(order[static_cast<size_t>(next)], true);
}

void CQvDlg::PressControl(CQvBase* control) {
    if (!control || !Eligible(control) || inputSuspended) return;
    control->Press(notifyTarget, control->notifyTarget ? control->notifyTarget : notifyTarget);
}

void CQvDlg::OnEscape() {
    if (cancelControl && Eligible(cancelControl))
        PressControl(cancelControl);
    else
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

bool CQvDlg::OnDialogKey(WPARAM key, LPARAM lParam) {
    const bool shift = ::GetKeyState(VK_SHIFT) < 0;
    switch (key) {
    case VK_TAB:
        MoveFocus(shift ? -1 : 1);
        return true;
    case VK_LEFT:
    case VK_UP:
        MoveFocus(-1);
        return true;
    case VK_RIGHT:
    case VK_DOWN:
        MoveFocus(1);
        return true;
    case VK_SPACE:
    case VK_RETURN: {
        if (IsRepeat(lParam)) return true;  // held down: one press
        CQvBase* target = FocusedControl();
        if (!target && key == VK_RETURN) target = defaultControl;
        PressControl(target);
        return true;
    }
    case VK_ESCAPE:
        if (!IsRepeat(lParam)) OnEscape();
        return true;
    default:
        return false;
    }
}
