#include "ui/QvAccessible.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/QvSystemDll.h"
#include "ui/QvDlg.h"

namespace {

// oleacc is not one of the system's known DLLs: it is loaded by full path,
// and only when a screen reader asks.
constexpr wchar_t kOleAcc[] = L"oleacc.dll";

HRESULT Text(const std::wstring& text, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

void Long(VARIANT* v, LONG value) {
    ::VariantInit(v);
    v->vt = VT_I4;
    v->lVal = value;
}

}  // namespace

CQvAccessible::CQvAccessible(CQvDlg* dialog) : dialog_(dialog) {}

void CQvAccessible::Detach() {
    dialog_ = nullptr;
}

HRESULT CQvAccessible::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
        *out = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG CQvAccessible::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
}

ULONG CQvAccessible::Release() {
    LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT CQvAccessible::GetTypeInfoCount(UINT* count) {
    if (!count) return E_INVALIDARG;
    *count = 0;
    return S_OK;
}
HRESULT CQvAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}
HRESULT CQvAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}
HRESULT CQvAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                              UINT*) {
    return E_NOTIMPL;
}

bool CQvAccessible::Resolve(const VARIANT& child, CQvBase** control) const {
    *control = nullptr;
    if (!dialog_ || child.vt != VT_I4) return false;
    if (child.lVal == CHILDID_SELF) return true;
    std::vector<CQvBase*> seen = dialog_->AccessibleControls();
    if (child.lVal < 1 || static_cast<size_t>(child.lVal) > seen.size()) return false;
    *control = seen[static_cast<size_t>(child.lVal) - 1];
    return true;
}

bool CQvAccessible::HasFocus() const {
    return dialog_ && ::GetFocus() == dialog_->hwnd;
}

HRESULT CQvAccessible::get_accParent(IDispatch** parent) {
    if (!parent) return E_INVALIDARG;
    *parent = nullptr;
    if (!dialog_) return RPC_E_DISCONNECTED;
    auto fromWindow =
        qv::SystemFn<decltype(&::AccessibleObjectFromWindow)>(kOleAcc, "AccessibleObjectFromWindow");
    if (!fromWindow) return S_FALSE;
    // The window's own object (frame, title) is the client area's parent.
    HRESULT hr = fromWindow(dialog_->hwnd, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                            reinterpret_cast<void**>(parent));
    return SUCCEEDED(hr) ? S_OK : S_FALSE;
}

HRESULT CQvAccessible::get_accChildCount(LONG* count) {
    if (!count) return E_INVALIDARG;
    if (!dialog_) return RPC_E_DISCONNECTED;
    *count = static_cast<LONG>(dialog_->AccessibleControls().size());
    return S_OK;
}

HRESULT CQvAccessible::get_accChild(VARIANT child, IDispatch** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    CQvBase* control;
    if (!Resolve(child, &control)) return dialog_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
    // Controls are simple elements of this object, not objects of their own.
    return S_FALSE;
}

HRESULT CQvAccessible::get_accName(VARIANT child, BSTR* name) {
    CQvBase* control;
    if (!Resolve(child, &control)) return dialog_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
    if (control) return Text(control->AccessibleName(), name);
    wchar_t title[256] = {};
    ::GetWindowTextW(dialog_->hwnd, title, 256);
    return Text(title, name);
}

HRESULT CQvAccessible::get_accValue(VARIANT child, BSTR* value) {
    CQvBase* control;
    if (!Resolve(child, &control)) return dialog_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
    if (!control) return Text(std::wstring(), value);
    return Text(control->AccessibleValue(), value);
}

HRESULT CQvAccessible::get_accDescription(VARIANT, BSTR* text) {
    return Text(std::wstring(), text);
}

HRESULT CQvAccessible::get_accRole(VARIANT child, VARIANT* role) {
    if (!role) return E_INVALIDARG;
    CQvBase* control;
    if (!Resolve(child, &control)) return dialog_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
    Long(role, control ? control->AccessibleRole() : ROLE_SYSTEM_DIALOG);
    return S_OK;
}

HRESULT CQvAccessible::get_accState(VARIANT child, VARIANT* state) {
    if (!state) return E_INVALIDARG;
    CQvBase* control;
    if (!Resolve(child, &control)) return dialog_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
    LONG bits = 0;
    if (!control) {
        bits = STATE_SYSTEM_FOCUSABLE;
        if (HasFocus() && !dialog_->FocusedControl()) bits |= STATE_SYSTEM_FOCUSED;
        if (!::IsWindowVisible(dialog_->hwnd)) bits |= STATE_SYSTEM_INVISIBLE;
    } else {
        bits = control->AccessibleState();
        if (control->CanFocus()) bits |= STATE_SYSTEM_FOCUSABLE;
        if (control == dialog_->FocusedControl() && HasFocus()) bits |= STATE_SYSTEM_FOCUSED;
        if (control == dialog_->defaultControl) bits |= STATE_SYSTEM_DEFAULT;
    }
    Long(state, bits);
    return S_OK;
}

HRESULT CQvAccessible::get_accHelp(VARIANT, BSTR* help) {
    return Text(std::wstring(), help);
}

HRESULT CQvAccessible::get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return S_FALSE;
}

HRESULT CQvAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* keys) {
    CQvBase* control;
    if (!Resolve(child, &control)) return dialog_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
    if (control && control == dialog_->cancelControl) return Text(L"Esc", keys);
    if (control && control == dialog_->defaultControl) return Text(L"Enter", keys);
    return Text(std::wstring(), keys);
}

HRESULT CQvAccessible::get_accFocus(VARIANT* child) {
    if (!child) return E_INVALIDARG;
    ::VariantInit(child);
    if (!dialog_) return RPC_E_DISCONNECTED;
    if (!HasFocus()) return S_FALSE;
    std::vector<CQvBase*> seen = dialog_->AccessibleControls();
    auto at = std::find(seen.begin(), seen.end(), dialog_->FocusedControl());
    Long(child, at == seen.end() ? CHILDID_SELF : static_cast<LONG>(at - seen.begin()) + 1);
    return S_OK;
}

HRESULT CQvAccessible::get_accSelection(VARIANT* children) {
    if (!children) return E_INVALIDARG;
    ::VariantInit(children);
    return dialog_ ? S_FALSE : RPC_E_DISCONNECTED;
}

HRESULT CQvAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    CQvBase* control;
    if (!Resolve(child, &control)) return dialog_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
    return Text(control ? control->DefaultAction() : std::wstring(), action);
}

HRESULT CQvAccessible::accSelect(LONG flags, VARIANT child) {
    CQvBase* control;
    if (!Resolve(child, &control)) return dialog_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
    if (!(flags & SELFLAG_TAKEFOCUS)) return E_NOTIMPL;
    ::SetFocus(dialog_->hwnd);
    if (control && !dialog_->SetFocusControl(control, false)) return S_FALSE;
    return S_OK;
}

HRESULT CQvAccessible::accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                   VARIANT child) {
    if (!left || !top || !width || !height) return E_INVALIDARG;
    CQvBase* control;
    if (!Resolve(child, &control)) return dialog_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
    RECT r{};
    if (control)
        control->GetRect(r);
    else
        ::GetClientRect(dialog_->hwnd, &r);
    POINT corner{r.left, r.top};
    ::ClientToScreen(dialog_->hwnd, &corner);
    *left = corner.x;
    *top = corner.y;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
}

HRESULT CQvAccessible::accNavigate(LONG dir, VARIANT start, VARIANT* end) {
    if (!end) return E_INVALIDARG;
    ::VariantInit(end);
    CQvBase* control;
    if (!Resolve(start, &control)) return dialog_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
    const LONG count = static_cast<LONG>(dialog_->AccessibleControls().size());
    LONG to = 0;
    switch (dir) {
    case NAVDIR_FIRSTCHILD: to = control ? 0 : 1; break;
    case NAVDIR_LASTCHILD: to = control ? 0 : count; break;
    case NAVDIR_NEXT:
    case NAVDIR_DOWN:
    case NAVDIR_RIGHT: to = control ? start.lVal + 1 : 0; break;
    case NAVDIR_PREVIOUS:
    case NAVDIR_UP:
    case NAVDIR_LEFT: to = control ? start.lVal - 1 : 0; break;
    default: return E_INVALIDARG;
    }
    if (to < 1 || to > count) return S_FALSE;
    Long(end, to);
    return S_OK;
}

HRESULT CQvAccessible::accHitTest(LONG x, LONG y, VARIANT* child) {
    if (!child) return E_INVALIDARG;
    ::VariantInit(child);
    if (!dialog_) return RPC_E_DISCONNECTED;
    POINT p{x, y};
    ::ScreenToClient(dialog_->hwnd, &p);
    RECT client{};
    ::GetClientRect(dialog_->hwnd, &client);
    if (!::PtInRect(&client, p)) return S_FALSE;
    std::vector<CQvBase*> seen = dialog_->AccessibleControls();
    // The last one drawn is the one on top.
    for (size_t i = seen.size(); i-- > 0;) {
        RECT r;
        seen[i]->GetRect(r);
        if (::PtInRect(&r, p)) {
            Long(child, static_cast<LONG>(i) + 1);
            return S_OK;
        }
    }
    Long(child, CHILDID_SELF);
    return S_OK;
}

HRESULT CQvAccessible::accDoDefaultAction(VARIANT child) {
    CQvBase* control;
    if (!Resolve(child, &control)) return dialog_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
    if (!control || control->DefaultAction().empty()) return DISP_E_MEMBERNOTFOUND;
    auto at = std::find(dialog_->controls.begin(), dialog_->controls.end(), control);
    // Pressed by the dialog's own thread, after this call has returned: a
    // press may close the dialog, or run a modal loop of its own.
    ::PostMessageW(dialog_->hwnd, WM_QV_PRESS,
                   static_cast<WPARAM>(at - dialog_->controls.begin()), 0);
    return S_OK;
}

HRESULT CQvAccessible::put_accName(VARIANT, BSTR) {
    return E_NOTIMPL;
}

HRESULT CQvAccessible::put_accValue(VARIANT, BSTR) {
    return E_NOTIMPL;
}
