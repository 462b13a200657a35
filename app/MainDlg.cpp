// The main dialog: construction, controls, messages and the two button
// handlers. Drawing and the progress thread are in MainDlgProgress.cpp.
#include "app/MainDlg.h"

#include <cwchar>

#include "ui/QvApp.h"
#include "app/QvReport.h"
#include "app/UninstallData.h"
#include "base/QvLog.h"
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

CQvButton* MakeButton(const wchar_t* caption, int x, int imageId, void (*onClick)(void*)) {
    auto* button = new CQvButton(caption, x);
    button->imageId = imageId;
    button->stateImages = 1;  // one strip holds normal, hover and pressed
    button->textOffsetY -= 2;  // the caption sits a little above centre on this artwork
    button->onClick = onClick;
    return button;
}

}  // namespace

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
    ::PostMessageW(hwnd, WM_PAINT, 0, 0);
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
        // Once the uninstall has begun it runs to its end, and the process
        // ends itself after it; ending it here would run the runtime's exit
        // under the engine's worker and leave the product half removed.
        if (mode != 0 && !uninstaller.IsWorkDone()) return 0;
        CQvApp::Instance().ExitApp();
        return 0;
    case WM_UNINSTALL_PROGRESS:
        if (wParam == 100) finished = true;
        targetPercent = static_cast<int>(wParam);
        return 0;
    default:
        return CQvDlg::WndProc(wnd, msg, wParam, lParam);
    }
}

void CMainDlg::OnCancelClick(void* dialog) {
    auto* dlg = static_cast<CMainDlg*>(dialog);
    if (dlg) {
        dlg->cancelled = true;
        dlg->Animate(QV_EFFECT_SLIDE_OUT);
    }
    CQvApp::Instance().ExitApp();
}

void CMainDlg::OnUninstallClick(void* dialog) {
    auto* dlg = static_cast<CMainDlg*>(dialog);
    if (!dlg) return;
    dlg->mode += 1;
    // From here on the buttons are neither painted nor clickable.
    dlg->inputSuspended = true;
    ::PostMessageW(dlg->hwnd, WM_PAINT, 0, 0);
    dlg->uninstaller.StartUninstall(dlg->hwnd, 1);
    CQvThread::Instance().StartThread(ProgressThread, dlg, 1);
}
