// The main dialog: construction, controls, messages and the two button
// handlers. Drawing and the progress animation are in MainDlgProgress.cpp.
#include "app/MainDlg.h"

#include <cwchar>

#include "ui/QvApp.h"
#include "app/QvReport.h"
#include "app/UninstallData.h"
#include "base/QvLog.h"
#include "ui/QvAccItem.h"
#include "ui/QvButton.h"
#include "ui/QvImage.h"
#include "ui/QvMsgBox.h"
#include "ui/QvThread.h"

namespace {

// Said when the data file, or a folder above it, could have been written by
// someone other than an administrator: its word is not taken.
constexpr wchar_t kUntrustedText[] =
    L"卸载信息可能已被其他用户更改。为了安全，卸载已停止，没有删除任何内容。请联系管理员。";
constexpr int kNoticeWidth = 380;
constexpr int kNoticeHeight = 200;
// Part of the card's artwork, under the question: read out as text.
constexpr wchar_t kHintText[] = L"卸载将删除本程序的文件、开始菜单项和桌面快捷方式。";
constexpr RECT kHintRect{35, 190, 415, 212};
constexpr RECT kQuestionRect{35, 146, 245, 176};
constexpr RECT kProgressRect{75, 150, 354, 173};  // the strip of ink
constexpr wchar_t kStayedTitle[] = L"部分文件未能删除";
constexpr int kStayedSeconds = 30;
constexpr int kStayedWidth = 400;
constexpr int kStayedHeight = 240;

CQvButton* MakeButton(const wchar_t* caption, int x, int imageId, void (*onClick)(void*)) {
    auto* button = new CQvButton();
    // 68 × 29, the three looks side by side with 8-pixel edges.
    button->Init(caption, x, 148, 68, 29, 8, 3, nullptr, nullptr);
    button->imageId = imageId;
    button->stateImages = 1;  // one strip holds normal, hover and pressed
    button->textOffsetY -= 2;  // the caption sits a little above centre on this artwork
    button->onClick = onClick;
    return button;
}

}  // namespace

std::wstring CMainDlg::Question() const {
    switch (dataSource) {
    case UninstallSource::Read:
        return L"您确定要卸载" + productName + L"?";
    case UninstallSource::Damaged:
        return L"卸载信息已损坏，删除卸载程序?";
    default:
        // Started again after its product went: only this program is left.
        return L"程序已卸载，删除卸载程序?";
    }
}

CMainDlg::CMainDlg() {
    ReadProductName();
}

CMainDlg::~CMainDlg() {
    // The dialog made its buttons; the base class does not own controls.
    for (CQvBase* c : controls) delete c;
    controls.clear();
}

void CMainDlg::ReadProductName() {
    UninstallHeader header{};
    std::wstring why;
    // The name is all the question needs; the engine reads the records.
    dataSource = LoadUninstallData(CQvApp::Instance().curPath, &header, nullptr, nullptr, &why);
    if (dataSource == UninstallSource::Untrusted || dataSource == UninstallSource::Damaged)
        CQvLog::Instance().WriteLog2(L"uninstall data not used: %s", why.c_str());
    if (dataSource != UninstallSource::Read) return;
    // A field that fills its whole width has no terminator: stop at its end.
    productName.assign(header.productName,
                       wcsnlen(header.productName, sizeof(header.productName) / sizeof(wchar_t)));
}

void CMainDlg::ShowUntrustedNotice() {
    CQvMsgBox box;
    box.ShowMsg(nullptr, kUntrustedText, CQvApp::Instance().appName, QV_MSGBOX_OK, 0,
                kNoticeWidth, kNoticeHeight, QV_EFFECT_NONE, QV_EFFECT_NONE);
}

void CMainDlg::OnInit() {
    dragAnywhere = true;
    bgImageId = IMG_MAIN_BACKGROUND;
    CQvDlg::OnInit();
    cancelButton = MakeButton(L"取 消", 325, IMG_MAIN_CANCEL, OnCancelClick);
    controls.push_back(cancelButton);
    uninstallButton = MakeButton(L"卸 载", 255, IMG_MAIN_UNINSTALL, OnUninstallClick);
    controls.push_back(uninstallButton);
    // Enter uninstalls and Escape cancels, as in the confirmations people
    // know; 卸 载 holds the focus first, its mark shown once a key is used.
    defaultControl = uninstallButton;
    cancelControl = cancelButton;
    SetFocusControl(uninstallButton, false);
    AddAccessibleItems();
    ::PostMessageW(hwnd, WM_PAINT, 0, 0);
}

void CMainDlg::AddAccessibleItems() {
    auto item = [this](std::wstring name, long role, const RECT& r) {
        auto* added = new CQvAccItem(std::move(name), role, r.left, r.top, r.right - r.left,
                                     r.bottom - r.top);
        controls.push_back(added);
        return added;
    };
    // Read in the order a person reads the card: question, hint, buttons
    // (which come first in the Tab order only).
    questionItem = item(Question(), ROLE_SYSTEM_STATICTEXT, kQuestionRect);
    controls.erase(controls.end() - 1);
    controls.insert(controls.begin(), questionItem);
    CQvAccItem* hint = item(kHintText, ROLE_SYSTEM_STATICTEXT, kHintRect);
    controls.erase(controls.end() - 1);
    controls.insert(controls.begin() + 1, hint);
    progressItem = item(L"卸载进度", ROLE_SYSTEM_PROGRESSBAR, kProgressRect);
    progressItem->visible = false;
}

void CMainDlg::Paint(HDC target) {
    CQvDlg::Paint(target);
    // The "open" report goes once the first frame is out: its thread and
    // the network stack it loads would otherwise compete with the start.
    if (openReported) return;
    openReported = true;
    wchar_t url[200];
    GetReportUrl(url);
    DoReport(url, L"open", L"Talo_Uninstall");
}

LRESULT CMainDlg::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        if (mode == 0) CQvApp::Instance().ExitApp();
        // Once the uninstall has begun nothing a person does ends it half
        // way: the engine runs to its end, and the program removes itself
        // after it. Closing once the engine is done only skips the rest of
        // the animation.
        if (engineDone) {
            shownPercent = 100;
            FinishWhenDone();
        }
        return 0;
    case WM_TIMER:
        if (wParam == kProgressTimer) {
            StepProgress();
            return 0;
        }
        return CQvDlg::WndProc(wnd, msg, wParam, lParam);
    case WM_UNINSTALL_PROGRESS:
        targetPercent = static_cast<int>(wParam);
        return 0;
    case WM_UNINSTALL_DONE:
        engineDone = true;
        FinishWhenDone();
        return 0;
    default:
        return CQvDlg::WndProc(wnd, msg, wParam, lParam);
    }
}

void CMainDlg::OnCancelClick(void* dialog) {
    auto* dlg = static_cast<CMainDlg*>(dialog);
    if (dlg) dlg->Animate(QV_EFFECT_SLIDE_OUT);
    CQvApp::Instance().ExitApp();
}

void CMainDlg::OnUninstallClick(void* dialog) {
    auto* dlg = static_cast<CMainDlg*>(dialog);
    if (!dlg || dlg->mode != 0) return;
    dlg->mode = 1;
    // From here on the buttons are neither painted, nor clickable, nor read
    // out; the progress is.
    dlg->inputSuspended = true;
    dlg->SetFocusControl(nullptr, false);
    dlg->cancelButton->visible = false;
    dlg->uninstallButton->visible = false;
    dlg->questionItem->visible = false;
    dlg->progressItem->visible = true;
    dlg->progressItem->value = L"0%";
    ::NotifyWinEvent(EVENT_OBJECT_REORDER, dlg->hwnd, OBJID_CLIENT, CHILDID_SELF);
    ::PostMessageW(dlg->hwnd, WM_PAINT, 0, 0);
    dlg->uninstaller.StartUninstall(dlg->hwnd, 1);
    ::SetTimer(dlg->hwnd, kProgressTimer, kProgressStepMs, nullptr);
}

void CMainDlg::FinishWhenDone() {
    if (finishing || !engineDone || shownPercent < 100) return;
    finishing = true;
    ::KillTimer(hwnd, kProgressTimer);
    int scheduled = 0;
    std::vector<std::wstring> stayed = uninstaller.StayedFiles(&scheduled);
    if (!stayed.empty()) ShowStayedNotice(stayed, scheduled);
    uninstaller.DeleteSelf();
    // Only reached when the batch file could not be written.
    CQvApp::Instance().ExitApp();
}

void CMainDlg::ShowStayedNotice(const std::vector<std::wstring>& stayed, int scheduled) {
    std::wstring text = L"有 " + std::to_wstring(stayed.size()) +
                        L" 个文件正被其他程序使用，没有删除：\n" + qv::DescribeStayed(stayed, 3);
    if (scheduled == static_cast<int>(stayed.size()))
        text += L"这些文件将在电脑重新启动时删除。";
    else
        text += L"请关闭使用它们的程序后手动删除。";
    CQvMsgBox box;
    // It closes by itself: an uninstall nobody watches still ends.
    box.ShowMsg(hwnd, text.c_str(), kStayedTitle, QV_MSGBOX_OK, kStayedSeconds,
                kStayedWidth, kStayedHeight, QV_EFFECT_NONE, QV_EFFECT_NONE);
}
