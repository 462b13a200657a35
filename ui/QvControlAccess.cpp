// What the toolkit's own controls tell the keyboard and screen readers.
#include <oleacc.h>

#include "ui/QvButton.h"
#include "ui/QvCheckBox.h"
#include "ui/QvText.h"

namespace {

// Captions are spaced for looks ("卸 载"); a screen reader reads the word.
std::wstring Unspaced(const std::wstring& caption) {
    std::wstring word;
    for (wchar_t c : caption)
        if (c != L' ' && c != L'\u3000') word += c;
    return word;
}

}  // namespace

bool CQvBaseEx::CanFocus() const {
    return visible && enabled && !locked;
}

std::wstring CQvButton::AccessibleName() const {
    return accName.empty() ? Unspaced(caption) : accName;
}

long CQvButton::AccessibleRole() const {
    return accRole ? accRole : ROLE_SYSTEM_PUSHBUTTON;
}

long CQvButton::AccessibleState() const {
    return enabled && !locked ? 0 : STATE_SYSTEM_UNAVAILABLE;
}

std::wstring CQvButton::DefaultAction() const {
    return L"按下";
}

std::wstring CQvCheckBox::AccessibleName() const {
    return accName.empty() ? Unspaced(caption) : accName;
}

long CQvCheckBox::AccessibleRole() const {
    return accRole ? accRole : ROLE_SYSTEM_CHECKBUTTON;
}

long CQvCheckBox::AccessibleState() const {
    long state = ticked ? STATE_SYSTEM_CHECKED : 0;
    if (!enabled || locked) state |= STATE_SYSTEM_UNAVAILABLE;
    return state;
}

std::wstring CQvCheckBox::DefaultAction() const {
    return ticked ? L"清除" : L"选中";
}

std::wstring CQvText::AccessibleName() const {
    return accName.empty() ? caption : accName;
}
