// What a dialog gives people who do not use the mouse: the keyboard focus
// among its controls, the keys, the focus mark, and the accessible object
// a screen reader reads (names, roles, states, places, default actions).
#include <gtest/gtest.h>

#include <objbase.h>
#include <oleacc.h>

#include <string>

#include "app/QvApp.h"
#include "support/ImageFixtures.h"
#include "support/TestUtil.h"
#include "ui/QvAccItem.h"
#include "ui/QvButton.h"
#include "ui/QvCheckBox.h"
#include "ui/QvDlg.h"
#include "ui/QvText.h"

using namespace qvtest;

namespace {

struct AppNamed {
    AppNamed() { CQvApp::Instance().SetAppName(L"QvAccessTest"); }
};
const AppNamed named;

int g_okClicks = 0, g_cancelClicks = 0;

// One control of each kind, and two that must not take the focus.
class KeyDlg : public CQvDlg {
public:
    void OnInit() override {
        bgImageId = 0;
        CQvDlg::OnInit();
        label.Init(L"请选择", 10, 10, 100, 20, false);
        ok.Init(L"确 定", 20, 60, 69, 21, 2, 1, hwnd, nullptr);
        ok.onClick = [](void*) { ++g_okClicks; };
        tick.Init(L"记住选择", 20, 100, 120, 20, false, 0, 1, hwnd, nullptr);
        off.Init(L"停用", 100, 60, 69, 21, 2, 1, hwnd, nullptr);
        off.enabled = false;
        gone.Init(L"隐藏", 180, 60, 69, 21, 2, 1, hwnd, nullptr);
        gone.visible = false;
        cancel.Init(L"取 消", 180, 100, 69, 21, 2, 1, hwnd, nullptr);
        cancel.onClick = [](void*) { ++g_cancelClicks; };
        progress.value = L"40%";
        for (CQvBase* c : std::initializer_list<CQvBase*>{&label, &ok, &tick, &off, &gone, &cancel,
                                                          &progress})
            controls.push_back(c);
    }
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_CLOSE) {
            ++closes;
            return 0;
        }
        return CQvDlg::WndProc(wnd, msg, wParam, lParam);
    }
    void Key(WPARAM key) { ::SendMessageW(hwnd, WM_KEYDOWN, key, 1); }

    CQvText label;
    CQvButton ok, off, gone, cancel;
    CQvCheckBox tick;
    CQvAccItem progress{L"进度", ROLE_SYSTEM_PROGRESSBAR, 20, 130, 200, 10};
    int closes = 0;
};

void Shift(bool down) {
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    ::SetKeyboardState(keys);
}

int MarkPixels(KeyDlg& dlg, const CQvBase& c) {
    Canvas canvas(300, 160);
    dlg.Paint(canvas.dc());
    int dots = 0;
    for (int x = c.x + 3; x < c.x + c.width - 3; ++x)
        if (canvas.rgb(x, c.y + 3) == 0x303030) ++dots;
    return dots;
}

VARIANT Child(LONG id) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::wstring Name(IAccessible* acc, LONG id) {
    BSTR name = nullptr;
    if (FAILED(acc->get_accName(Child(id), &name)) || !name) return L"";
    std::wstring text(name, ::SysStringLen(name));
    ::SysFreeString(name);
    return text;
}

LONG Role(IAccessible* acc, LONG id) {
    VARIANT v;
    ::VariantInit(&v);
    return SUCCEEDED(acc->get_accRole(Child(id), &v)) && v.vt == VT_I4 ? v.lVal : -1;
}

LONG State(IAccessible* acc, LONG id) {
    VARIANT v;
    ::VariantInit(&v);
    return SUCCEEDED(acc->get_accState(Child(id), &v)) && v.vt == VT_I4 ? v.lVal : -1;
}

}  // namespace

TEST(DlgKeys, TabAndArrowsMoveTheFocusOverWhatCanTakeItAndKeysPress) {
    KeyDlg dlg;
    ASSERT_TRUE(dlg.Create(0, 0, 300, 160, 0, false, nullptr, WS_POPUP));
    g_okClicks = g_cancelClicks = 0;
    EXPECT_EQ(nullptr, dlg.FocusedControl());
    // Enter with nothing focused presses the default control, if any.
    dlg.Key(VK_RETURN);
    EXPECT_EQ(0, g_okClicks);
    dlg.defaultControl = &dlg.ok;
    dlg.Key(VK_RETURN);
    EXPECT_EQ(1, g_okClicks);

    // The label, the disabled and the hidden button are passed over.
    const CQvBase* order[] = {&dlg.ok, &dlg.tick, &dlg.cancel, &dlg.ok};
    for (const CQvBase* expected : order) {
        dlg.Key(VK_TAB);
        EXPECT_EQ(expected, dlg.FocusedControl());
    }
    Shift(true);
    dlg.Key(VK_TAB);
    Shift(false);
    EXPECT_EQ(&dlg.cancel, dlg.FocusedControl()) << "Shift+Tab goes back, round the end";
    dlg.Key(VK_RIGHT);
    EXPECT_EQ(&dlg.ok, dlg.FocusedControl());
    dlg.Key(VK_UP);
    EXPECT_EQ(&dlg.cancel, dlg.FocusedControl());

    // Space and Enter press the focused control, not the default one.
    dlg.Key(VK_SPACE);
    dlg.Key(VK_RETURN);
    EXPECT_EQ(2, g_cancelClicks);
    EXPECT_EQ(1, g_okClicks);
    // A key held down presses once.
    ::SendMessageW(dlg.hwnd, WM_KEYDOWN, VK_SPACE, 1 | (1 << 30));
    EXPECT_EQ(2, g_cancelClicks);
    dlg.Key(VK_DOWN);
    dlg.Key(VK_DOWN);
    EXPECT_EQ(&dlg.tick, dlg.FocusedControl());
    dlg.Key(VK_SPACE);
    EXPECT_TRUE(dlg.tick.ticked) << "Space toggles a check box";

    // Escape: the cancel control, or a request to close.
    dlg.Key(VK_ESCAPE);
    EXPECT_EQ(0, dlg.closes);
    PumpUntil([&] { return dlg.closes > 0; }, 300);
    EXPECT_EQ(1, dlg.closes) << "without a cancel control Escape asks to close";
    dlg.cancelControl = &dlg.cancel;
    dlg.Key(VK_ESCAPE);
    EXPECT_EQ(3, g_cancelClicks);

    // Nothing while input is suspended (a dialog at work).
    dlg.inputSuspended = true;
    dlg.Key(VK_TAB);
    dlg.Key(VK_ESCAPE);
    EXPECT_EQ(&dlg.tick, dlg.FocusedControl());
    EXPECT_EQ(3, g_cancelClicks);
}

TEST(DlgKeys, TheFocusMarkShowsOnlyOnceTheKeyboardMovedIt) {
    KeyDlg dlg;
    ASSERT_TRUE(dlg.Create(0, 0, 300, 160, 0, false, nullptr, WS_POPUP));
    ASSERT_TRUE(dlg.SetFocusControl(&dlg.ok, false));
    EXPECT_EQ(0, MarkPixels(dlg, dlg.ok)) << "focused, but no key used yet";
    dlg.Key(VK_TAB);
    ASSERT_EQ(&dlg.tick, dlg.FocusedControl());
    EXPECT_GT(MarkPixels(dlg, dlg.tick), 20);
    EXPECT_EQ(0, MarkPixels(dlg, dlg.ok)) << "the mark left the control the focus left";
    EXPECT_FALSE(dlg.SetFocusControl(&dlg.off, true)) << "a disabled control cannot take it";
}

TEST(DlgAccess, ScreenReadersReadEveryVisibleControlAndPressThem) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        KeyDlg dlg;
        ASSERT_TRUE(dlg.Create(40, 50, 300, 160, 0, false, nullptr, WS_POPUP));
        ::SetWindowTextW(dlg.hwnd, L"示例对话框");
        dlg.ShowDlg(QV_EFFECT_NONE, false, SW_SHOW);
        dlg.defaultControl = &dlg.ok;
        dlg.cancelControl = &dlg.cancel;
        dlg.tick.ticked = true;
        g_okClicks = 0;

        IAccessible* acc = nullptr;
        ASSERT_EQ(S_OK, ::AccessibleObjectFromWindow(dlg.hwnd, static_cast<DWORD>(OBJID_CLIENT),
                                                     __uuidof(IAccessible),
                                                     reinterpret_cast<void**>(&acc)));
        ASSERT_NE(nullptr, acc);
        EXPECT_EQ(L"示例对话框", Name(acc, CHILDID_SELF));
        EXPECT_EQ(ROLE_SYSTEM_DIALOG, Role(acc, CHILDID_SELF));
        LONG count = 0;
        EXPECT_EQ(S_OK, acc->get_accChildCount(&count));
        ASSERT_EQ(6, count) << "every control but the hidden one";

        struct {
            const wchar_t* name;
            LONG role;
            LONG mustHave, mustNotHave;
        } expected[] = {
            {L"请选择", ROLE_SYSTEM_STATICTEXT, 0, STATE_SYSTEM_FOCUSABLE},
            {L"确定", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_DEFAULT,
             STATE_SYSTEM_UNAVAILABLE},
            {L"记住选择", ROLE_SYSTEM_CHECKBUTTON, STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE, 0},
            {L"停用", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_UNAVAILABLE, STATE_SYSTEM_FOCUSABLE},
            {L"取消", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE, 0},
            {L"进度", ROLE_SYSTEM_PROGRESSBAR, 0, STATE_SYSTEM_FOCUSABLE},
        };
        for (LONG id = 1; id <= 6; ++id) {
            const auto& e = expected[id - 1];
            EXPECT_EQ(e.name, Name(acc, id)) << id;
            EXPECT_EQ(e.role, Role(acc, id)) << id;
            const LONG state = State(acc, id);
            EXPECT_EQ(e.mustHave, state & e.mustHave) << id << " state " << std::hex << state;
            EXPECT_EQ(0, state & e.mustNotHave) << id << " state " << std::hex << state;
        }
        BSTR value = nullptr;
        ASSERT_EQ(S_OK, acc->get_accValue(Child(6), &value));
        EXPECT_EQ(std::wstring(L"40%"), std::wstring(value));
        ::SysFreeString(value);

        // Places on the screen, and the way back from a point.
        LONG l = 0, t = 0, w = 0, h = 0;
        ASSERT_EQ(S_OK, acc->accLocation(&l, &t, &w, &h, Child(3)));
        RECT wr{};
        ::GetWindowRect(dlg.hwnd, &wr);
        EXPECT_EQ(wr.left + 20, l);
        EXPECT_EQ(wr.top + 100, t);
        EXPECT_EQ(120, w);
        EXPECT_EQ(20, h);
        VARIANT hit;
        ::VariantInit(&hit);
        ASSERT_EQ(S_OK, acc->accHitTest(l + 5, t + 5, &hit));
        EXPECT_EQ(3, hit.lVal);

        // The default action presses, on the dialog's own thread.
        EXPECT_EQ(S_OK, acc->accDoDefaultAction(Child(2)));
        EXPECT_TRUE(PumpUntil([] { return g_okClicks == 1; }, 5000));
        EXPECT_EQ(S_OK, acc->accDoDefaultAction(Child(3)));
        EXPECT_TRUE(PumpUntil([&] { return !dlg.tick.ticked; }, 5000));
        EXPECT_NE(S_OK, acc->accDoDefaultAction(Child(1))) << "a label has no action";

        // Focus taken through the object is the dialog's focus.
        EXPECT_EQ(S_OK, acc->accSelect(SELFLAG_TAKEFOCUS, Child(5)));
        EXPECT_EQ(&dlg.cancel, dlg.FocusedControl());

        ::DestroyWindow(dlg.hwnd);
        // A reader that still holds the object after the dialog went is
        // told so, not sent into freed memory.
        LONG after = -1;
        EXPECT_EQ(RPC_E_DISCONNECTED, acc->get_accChildCount(&after));
        acc->Release();
    }
    ::CoUninitialize();
}
