#pragma once
// The skinned message box: title bar with icon, title and close button, a
// message with a picture to its left, an optional check box and one or two
// buttons, run modally with a loop of its own. An optional count-down shows
// the seconds left on the OK button and closes the box by itself.
#include <windows.h>

#include <atomic>
#include <string>

#include "ui/QvButton.h"
#include "ui/QvCheckBox.h"
#include "ui/QvDlg.h"
#include "ui/QvText.h"

// Sent by the box to itself on each second of its count-down: wParam is the
// number of seconds left, shown on the OK button.
constexpr UINT WM_QV_COUNTDOWN = 0x1C3A;

// Buttons a box shows; any other type shows none.
enum QvMsgBoxType {
    QV_MSGBOX_OK = 0,
    QV_MSGBOX_OK_CANCEL = 1,
};

// What ShowMsg returns.
enum QvMsgBoxResult {
    QV_MSGBOX_RESULT_OK = 1,      // "确定", or the end of the count-down
    QV_MSGBOX_RESULT_CANCEL = 2,  // "取消" or the close button
};

class CQvMsgBox : public CQvDlg {
public:
    CQvMsgBox();
    ~CQvMsgBox() override;

    void OnInit() override;
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    void DrawContent(HDC dc) override;

    // Creates the box as a popup of `owner` and runs it modally; returns a
    // QvMsgBoxResult. A null text shows none; a null title keeps the
    // current one.
    int ShowMsg(HWND owner, const wchar_t* text, const wchar_t* title, int type, int countdown,
                int width, int height, int showEffect, int closeEffect);
    // Shows the box and dispatches this thread's messages until it is
    // hidden. A WM_QUIT meanwhile ends the program.
    int RunModal(int showEffect, bool disableOwner, bool center);
    void EndMsg(int result);

    static void OnOkClick(void* box);
    static void OnCloseClick(void* box);

    // The count-down's timer on the box's window, and its tick.
    static constexpr UINT_PTR kCountdownTimer = 1;
    static constexpr UINT kCountdownStepMs = 1000;

    HICON icon;  // shared icon resource: never destroyed
    std::wstring title = L"提示信息";
    std::wstring text;
    std::wstring checkText;
    CQvButton closeButton;
    CQvButton okButton;
    CQvButton cancelButton;
    CQvCheckBox checkBox;
    CQvText titleLabel;
    int type = QV_MSGBOX_OK;
    int closeEffect = QV_EFFECT_NONE;
    std::atomic<int> countdown{0};  // seconds left; other threads may watch it
    bool checkInit = false;
    bool showCheckBox = false;
    int iconImageId = 0;               // 0: the type's default picture
    int buttonOffsetY = 0;

private:
    // One second of the count-down.
    void Tick();
    // Claims the box's one ending: the first of a button and the end of the
    // count-down wins. Hiding can take a while, and until then the other
    // could still end the box again with its own result.
    bool BeginEnd();

    std::atomic<bool> ending_{false};
};
