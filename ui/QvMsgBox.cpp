#include "ui/QvMsgBox.h"

#include <cwchar>

#include "ui/QvApp.h"
#include "ui/QvFont.h"
#include "ui/QvImage.h"
#include "ui/QvThread.h"

namespace {

constexpr WORD kIconId = 107;
constexpr int kCloseImage = 60006;  // 60006..60008: normal, hover, pressed
constexpr int kNoticePicture = 60056;
constexpr int kQuestionPicture = 60057;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr int kTextTop = 50;
constexpr int kButtonBand = 45;  // the buttons and the space above them
constexpr DWORD kBoxStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

}  // namespace

CQvMsgBox::CQvMsgBox()
    : icon(::LoadIconW(CQvApp::Instance().hInstance, MAKEINTRESOURCEW(kIconId))) {
    iconId = kIconId;
    captionHeight = 30;
}

CQvMsgBox::~CQvMsgBox() {
    // An effect still running on a worker would move a window that is about
    // to go; it sends to this thread, so serve it while waiting.
    for (int i = 0; i < 200 && animating; ++i) QvWaitServingSends(nullptr, 10);
}

void CQvMsgBox::OnInit() {
    CQvDlg::OnInit();
    const RECT client = LogicalClient();
    const int w = width;
    const int bottom = client.bottom;

    closeButton.Init(L"", w - 40, 1, 38, 18, 0, 1, hwnd, nullptr);
    closeButton.imageId = kCloseImage;
    closeButton.stateImages = 3;
    closeButton.onClick = OnCloseClick;
    controls.push_back(&closeButton);

    // The window bears the box's title too: the taskbar and screen readers
    // name it by that.
    ::SetWindowTextW(hwnd, title.c_str());
    titleLabel.Init(title, 35, 4, 200, 25, false);
    if (CQvFont::Instance().isSupportYaHei())
        titleLabel.SetFont(20, kWhite, nullptr, 1, 0, 0);
    else
        titleLabel.SetFont(14, kWhite, L"宋体", 1, 0, 0);
    controls.push_back(&titleLabel);

    if (showCheckBox) {
        checkBox.Init(checkText.c_str(), 50, bottom - 60, 200, 20, checkInit, 0, 1, hwnd, nullptr);
        controls.push_back(&checkBox);
    }

    const int buttonY = bottom + buttonOffsetY - 30;
    if (type == QV_MSGBOX_OK) {
        if (iconImageId == 0) iconImageId = kNoticePicture;
        okButton.Init(L"确定", w / 2 - 35, buttonY, 70, 25, 2, 1, hwnd, nullptr);
        okButton.onClick = OnOkClick;
        controls.push_back(&okButton);
    } else if (type == QV_MSGBOX_OK_CANCEL) {
        if (iconImageId == 0) iconImageId = kQuestionPicture;
        okButton.Init(L"确定", w / 2 - 80, buttonY, 70, 25, 2, 1, hwnd, nullptr);
        okButton.onClick = OnOkClick;
        controls.push_back(&okButton);
        cancelButton.Init(L"取消", w / 2 + 10, buttonY, 70, 25, 2, 1, hwnd, nullptr);
        cancelButton.onClick = OnCloseClick;
        controls.push_back(&cancelButton);
    }

    // The keyboard: Enter on OK, which holds the first focus; Escape on
    // cancel, or on the close button where there is none.
    closeButton.accName = L"关闭";
    if (type == QV_MSGBOX_OK || type == QV_MSGBOX_OK_CANCEL) {
        defaultControl = &okButton;
        SetFocusControl(&okButton, false);
    }
    cancelControl = type == QV_MSGBOX_OK_CANCEL ? &cancelButton : &closeButton;

    if (countdown > 0) ::SetTimer(hwnd, kCountdownTimer, kCountdownStepMs, nullptr);
}

LRESULT CQvMsgBox::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (wnd == hwnd && msg == WM_TIMER && wParam == kCountdownTimer) {
        Tick();
        return 0;
    }
    if (wnd == hwnd && msg == WM_CLOSE) {
        // Alt+F4 and the taskbar answer as the close button does; the
        // window itself goes with the box.
        OnCloseClick(this);
        return 0;
    }
    if (wnd == hwnd && msg == WM_QV_COUNTDOWN) {
        // Only this thread touches the caption: it also paints the button.
        wchar_t caption[32];
        std::swprintf(caption, 32, L"确定(%d)", static_cast<int>(wParam));
        okButton.caption = caption;
        Redraw();
        return 0;
    }
    return CQvDlg::WndProc(wnd, msg, wParam, lParam);
}

void CQvMsgBox::DrawContent(HDC dc) {
    CQvImage& image = CQvImage::Instance();
    // Down to the buttons: a longer message takes a taller box.
    const int textHeight = height - kTextTop - kButtonBand > 50 ? height - kTextTop - kButtonBand : 50;
    image.DrawString(dc, font, text.c_str(), 50, kTextTop, width - 55, textHeight, RGB(0, 0, 0),
                     254, false, false, 0);
    image.DrawImg(dc, iconImageId, L"IMG", 10, 58, 0, 0, nullptr);
    ::DrawIconEx(dc, 5, 5, icon, 24, 24, 0, nullptr, DI_NORMAL);
}

int CQvMsgBox::ShowMsg(HWND owner, const wchar_t* message, const wchar_t* caption, int boxType,
                       int seconds, int w, int h, int showEffect, int hideEffect) {
    text = message ? message : L"";
    if (caption) title = caption;
    type = boxType;
    countdown = seconds;
    closeEffect = hideEffect;
    // Without a window there is nothing to wait for: the loop would never end.
    if (!Create(0, 0, w, h, 0, false, owner, kBoxStyle)) return result;
    return RunModal(showEffect, true, true);
}

int CQvMsgBox::RunModal(int showEffect, bool disableOwner, bool center) {
    HWND owner = disableOwner ? ownerWnd : nullptr;
    if (owner) ::EnableWindow(owner, FALSE);
    ShowDlg(showEffect, center, SW_SHOW);
    hidden = false;
    ending_ = false;
    MSG msg;
    while (!hidden) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) CQvApp::Instance().ExitApp();
        if (got < 0) break;  // only for an invalid filter window; ours is none
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (owner) {
        ::EnableWindow(owner, TRUE);
        ::SetForegroundWindow(owner);
        ::SendMessageW(owner, WM_MOUSEMOVE, 0, 0);
    }
    return result;
}

void CQvMsgBox::EndMsg(int value) {
    result = value;
    Hide();
}

bool CQvMsgBox::BeginEnd() {
    if (ending_.exchange(true)) return false;
    // The box is ending: not another second counted.
    ::KillTimer(hwnd, kCountdownTimer);
    return true;
}

void CQvMsgBox::OnOkClick(void* p) {
    auto* box = static_cast<CQvMsgBox*>(p);
    if (!box || !box->BeginEnd()) return;
    box->Animate(box->closeEffect);
    box->EndMsg(QV_MSGBOX_RESULT_OK);
}

void CQvMsgBox::OnCloseClick(void* p) {
    auto* box = static_cast<CQvMsgBox*>(p);
    if (!box || !box->BeginEnd()) return;
    box->Animate(box->closeEffect);
    box->EndMsg(QV_MSGBOX_RESULT_CANCEL);
}

void CQvMsgBox::Tick() {
    if (hidden || ending_ || countdown <= 0) {
        ::KillTimer(hwnd, kCountdownTimer);
        return;
    }
    const int left = --countdown;
    // The last caption is on the button before the close effect starts.
    ::SendMessageW(hwnd, WM_QV_COUNTDOWN, static_cast<WPARAM>(left), 0);
    if (left > 0) return;
    ::KillTimer(hwnd, kCountdownTimer);
    OnOkClick(this);
}
