// The skinned message box: layout, modal loop, count-down, results and the
// owner's disabling.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ui/QvApp.h"
#include "support/ImageFixtures.h"
#include "support/TestUtil.h"
#include "ui/QvMsgBox.h"
#include "ui/QvThread.h"

using namespace qvtest;

namespace {

struct AppNamed {
    AppNamed() { CQvApp::Instance().SetAppName(L"QvMsgBoxTest"); }
};
const AppNamed named;

constexpr DWORD kStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

// Records the OK button's captions as the count-down sets them and makes
// the window known to helper threads once it exists.
class TestBox : public CQvMsgBox {
public:
    void OnInit() override {
        CQvMsgBox::OnInit();
        window = hwnd;
    }
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        LRESULT r = CQvMsgBox::WndProc(wnd, msg, wParam, lParam);
        if (msg == WM_QV_COUNTDOWN) captions.push_back(okButton.caption);
        return r;
    }
    std::atomic<HWND> window{nullptr};
    std::vector<std::wstring> captions;
};

bool Has(const CQvDlg& dlg, const CQvBase* control) {
    for (const CQvBase* c : dlg.controls)
        if (c == control) return true;
    return false;
}

void ExpectRect(const CQvBase& c, int x, int y, int w, int h) {
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
    EXPECT_EQ(w, c.width);
    EXPECT_EQ(h, c.height);
}

// A helper thread that clicks into the box once a condition holds, and
// notes what it saw meanwhile.
struct Clicker {
    TestBox* box = nullptr;
    int x = 0, y = 0;
    int clickAtCountdown = -1;  // wait until the count-down reaches this; -1: click at once
    HWND owner = nullptr;
    std::atomic<bool> ownerWasDisabled{false};
    std::atomic<int> countdownAtClick{-1};

    static unsigned Run(void* p) {
        auto* c = static_cast<Clicker*>(p);
        HWND wnd = nullptr;
        for (int i = 0; i < 3000; ++i) {
            wnd = c->box->window;
            if (wnd && ::IsWindowVisible(wnd) &&
                (c->clickAtCountdown < 0 || c->box->countdown <= c->clickAtCountdown))
                break;
            ::Sleep(5);
        }
        if (!wnd) return 1;
        if (c->owner) c->ownerWasDisabled = !::IsWindowEnabled(c->owner);
        c->countdownAtClick = c->box->countdown.load();
        LPARAM at = MAKELPARAM(c->x, c->y);
        ::PostMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(wnd, WM_LBUTTONUP, 0, at);
        return 0;
    }
};

int ShowAndClick(TestBox& box, Clicker& clicker, HWND owner, int type, int countdown,
                 const wchar_t* title = nullptr) {
    clicker.box = &box;
    HANDLE thread = CQvThread::Instance().StartThread(Clicker::Run, &clicker, 0);
    int result = box.ShowMsg(owner, L"消息", title, type, countdown, 300, 200, QV_EFFECT_NONE,
                             QV_EFFECT_NONE);
    ::WaitForSingleObject(thread, 30000);
    ::CloseHandle(thread);
    CQvApp::Instance().mainWnd = nullptr;  // the box made itself the main window
    return result;
}

}  // namespace

TEST(MsgBox, LaysOutEachTypeInA300PixelBox) {
    TestBox ok;
    ASSERT_TRUE(ok.Create(0, 0, 300, 200, 0, false, nullptr, kStyle));
    ExpectRect(ok.closeButton, 260, 1, 38, 18);
    EXPECT_EQ(60006, ok.closeButton.imageId);
    EXPECT_EQ(3, ok.closeButton.stateImages);
    ExpectRect(ok.titleLabel, 35, 4, 200, 25);
    EXPECT_EQ(RGB(255, 255, 255), ok.titleLabel.textColor);
    EXPECT_EQ(L"提示信息", ok.titleLabel.caption);
    ExpectRect(ok.okButton, 115, 170, 70, 25);
    EXPECT_EQ(L"确定", ok.okButton.caption);
    EXPECT_TRUE(Has(ok, &ok.okButton));
    EXPECT_FALSE(Has(ok, &ok.cancelButton));
    EXPECT_FALSE(Has(ok, &ok.checkBox));
    EXPECT_EQ(60056, ok.iconImageId);
    EXPECT_EQ(0, ok.countdown.load()) << "no count-down asked for";
    EXPECT_EQ(&ok.okButton, ok.defaultControl);
    EXPECT_EQ(&ok.closeButton, ok.cancelControl) << "Escape closes a box without 取消";
    EXPECT_EQ(&ok.okButton, ok.FocusedControl());
    EXPECT_EQ(30, ok.captionHeight);
    EXPECT_EQ(107, ok.iconId);

    TestBox question;
    question.type = QV_MSGBOX_OK_CANCEL;
    question.buttonOffsetY = -10;
    question.showCheckBox = true;
    question.checkInit = true;
    question.checkText = L"不再提示";
    ASSERT_TRUE(question.Create(0, 0, 300, 200, 0, false, nullptr, kStyle));
    ExpectRect(question.okButton, 70, 160, 70, 25);
    ExpectRect(question.cancelButton, 160, 160, 70, 25);
    EXPECT_EQ(L"取消", question.cancelButton.caption);
    ExpectRect(question.checkBox, 50, 140, 200, 20);
    EXPECT_EQ(&question.cancelButton, question.cancelControl);
    EXPECT_TRUE(question.checkBox.ticked);
    EXPECT_EQ(L"不再提示", question.checkBox.caption);
    EXPECT_EQ(60057, question.iconImageId);

    TestBox bare;
    bare.type = 7;
    bare.iconImageId = 60061;
    ASSERT_TRUE(bare.Create(0, 0, 300, 200, 0, false, nullptr, kStyle));
    EXPECT_FALSE(Has(bare, &bare.okButton));
    EXPECT_FALSE(Has(bare, &bare.cancelButton));
    EXPECT_TRUE(Has(bare, &bare.closeButton));
    EXPECT_EQ(60061, bare.iconImageId) << "a chosen picture is kept";
}

TEST(MsgBox, DrawsThePictureLeftOfTheTextAndTheIconInTheTitleBar) {
    // Pixels that differ between a box with the notice picture and one
    // without any: they must all lie in the picture's 32 x 32 square.
    auto render = [](int picture) {
        TestBox box;
        box.type = 7;  // no buttons to draw
        box.iconImageId = picture;
        box.Create(0, 0, 300, 200, 0, false, nullptr, kStyle);
        auto canvas = std::make_unique<Canvas>(300, 200);
        box.Paint(canvas->dc());
        return canvas;
    };
    auto with = render(60056), without = render(0);
    int inside = 0, outside = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x) {
            if (with->rgb(x, y) == without->rgb(x, y)) continue;
            bool in = x >= 10 && x < 42 && y >= 58 && y < 90;
            (in ? inside : outside)++;
        }
    EXPECT_GT(inside, 100);
    EXPECT_EQ(0, outside);
    // The window icon covers part of (5, 5)-(29, 29) over the blue band.
    EXPECT_NE(with->rgb(2, 17), with->rgb(17, 17));
}

TEST(MsgBox, CountDownShowsTheSecondsLeftAndClosesWithOk) {
    TestBox box;
    box.ShowMsg(nullptr, nullptr, L"倒计时", QV_MSGBOX_OK, 5, 300, 200, QV_EFFECT_NONE,
                QV_EFFECT_NONE);
    CQvApp::Instance().mainWnd = nullptr;
    EXPECT_EQ(QV_MSGBOX_RESULT_OK, box.result);
    const std::vector<std::wstring> expected = {L"确定(4)", L"确定(3)", L"确定(2)", L"确定(1)",
                                                L"确定(0)"};
    EXPECT_EQ(expected, box.captions);
    EXPECT_EQ(L"倒计时", box.title);
    EXPECT_TRUE(box.text.empty());
    EXPECT_TRUE(box.hidden);
}

TEST(MsgBox, OkDuringTheCountDownStopsItAndReturnsOk) {
    TestBox box;
    Clicker clicker;
    clicker.x = 150;  // the middle of "确定"
    clicker.y = 182;
    clicker.clickAtCountdown = 3;
    EXPECT_EQ(QV_MSGBOX_RESULT_OK, ShowAndClick(box, clicker, nullptr, QV_MSGBOX_OK, 5));
    // A second and a half more of this thread's messages: no tick may come.
    PumpUntil([] { return false; }, 1500);
    EXPECT_EQ(clicker.countdownAtClick.load(), box.countdown.load())
        << "no second was counted after the click";
    EXPECT_EQ(L"确定(3)", box.okButton.caption);
}

TEST(MsgBox, WithoutCountDownTheCloseButtonCancelsAndTheOwnerIsReEnabled) {
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                                   nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    TestBox box;
    Clicker clicker;
    clicker.x = 279;  // the close button at (260, 1), 38 x 18
    clicker.y = 10;
    clicker.owner = owner;
    EXPECT_EQ(QV_MSGBOX_RESULT_CANCEL,
              ShowAndClick(box, clicker, owner, QV_MSGBOX_OK, 0, nullptr));
    EXPECT_EQ(L"确定", box.okButton.caption);
    EXPECT_EQ(L"提示信息", box.title) << "a null title keeps the default";
    EXPECT_EQ(L"消息", box.text);
    EXPECT_TRUE(clicker.ownerWasDisabled) << "the owner is disabled while the box runs";
    EXPECT_TRUE(::IsWindowEnabled(owner)) << "and enabled again afterwards";
    EXPECT_EQ(owner, ::GetWindow(box.hwnd, GW_OWNER));
    ::DestroyWindow(owner);
}

TEST(MsgBox, OkAndCancelButtonsOfAQuestion) {
    TestBox yes;
    Clicker ok;
    ok.x = 105;  // "确定" at (70, 170)
    ok.y = 182;
    EXPECT_EQ(QV_MSGBOX_RESULT_OK, ShowAndClick(yes, ok, nullptr, QV_MSGBOX_OK_CANCEL, 0));

    TestBox no;
    Clicker cancel;
    cancel.x = 195;  // "取消" at (160, 170)
    cancel.y = 182;
    EXPECT_EQ(QV_MSGBOX_RESULT_CANCEL,
              ShowAndClick(no, cancel, nullptr, QV_MSGBOX_OK_CANCEL, 0));
}

namespace {

// Posts one key, or a close request, to the box once it shows.
struct Keyer {
    TestBox* box = nullptr;
    UINT msg = WM_KEYDOWN;
    WPARAM key = 0;
    static unsigned Run(void* p) {
        auto* k = static_cast<Keyer*>(p);
        HWND wnd = nullptr;
        for (int i = 0; i < 3000 && !(wnd && ::IsWindowVisible(wnd)); ++i) {
            wnd = k->box->window;
            ::Sleep(5);
        }
        if (!wnd) return 1;
        ::PostMessageW(wnd, k->msg, k->key, 1);
        return 0;
    }
};

int ShowAndKey(int type, UINT msg, WPARAM key) {
    TestBox box;
    Keyer keyer{&box, msg, key};
    HANDLE thread = CQvThread::Instance().StartThread(Keyer::Run, &keyer, 0);
    int result = box.ShowMsg(nullptr, L"消息", nullptr, type, 0, 300, 200, QV_EFFECT_NONE,
                             QV_EFFECT_NONE);
    ::WaitForSingleObject(thread, 30000);
    ::CloseHandle(thread);
    CQvApp::Instance().mainWnd = nullptr;
    return result;
}

}  // namespace

TEST(MsgBox, EnterTakesOkEscapeAndClosingCancel) {
    EXPECT_EQ(QV_MSGBOX_RESULT_OK, ShowAndKey(QV_MSGBOX_OK, WM_KEYDOWN, VK_RETURN));
    EXPECT_EQ(QV_MSGBOX_RESULT_OK, ShowAndKey(QV_MSGBOX_OK_CANCEL, WM_KEYDOWN, VK_SPACE))
        << "确定 holds the first focus";
    EXPECT_EQ(QV_MSGBOX_RESULT_CANCEL, ShowAndKey(QV_MSGBOX_OK, WM_KEYDOWN, VK_ESCAPE));
    EXPECT_EQ(QV_MSGBOX_RESULT_CANCEL, ShowAndKey(QV_MSGBOX_OK_CANCEL, WM_KEYDOWN, VK_ESCAPE));
    // Alt+F4 or the taskbar: the box ends as cancelled instead of losing its
    // window under a loop that waits for it.
    EXPECT_EQ(QV_MSGBOX_RESULT_CANCEL, ShowAndKey(QV_MSGBOX_OK, WM_CLOSE, 0));
}

QV_CHILD(msgbox_quit_ends_process) {
    ::PostQuitMessage(3);
    CQvMsgBox box;
    box.ShowMsg(nullptr, L"", nullptr, QV_MSGBOX_OK, 0, 300, 200, QV_EFFECT_NONE, QV_EFFECT_NONE);
    return 99;  // never reached: the quit message ends the program
}

TEST(MsgBox, QuitMessageDuringTheLoopEndsTheProgram) {
    EXPECT_EQ(0, RunChild("msgbox_quit_ends_process"));
}
