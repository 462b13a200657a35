#include "SampleDlg.h"

#include <cwchar>

#include "app/QvApp.h"
#include "ui/QvButton.h"
#include "ui/QvFont.h"
#include "ui/QvImage.h"

namespace {

constexpr int kCloseImage = 1001;  // the sample's own strip (res/sample.rc)

}  // namespace

CSampleDlg::~CSampleDlg() {
    // The dialog does not own its controls; whoever made them deletes them.
    for (CQvBase* c : controls) delete c;
    controls.clear();
}

void CSampleDlg::OnInit() {
    CQvDlg::OnInit();  // default background 60051, stretched

    countButton_ = new CQvButton();
    countButton_->Init(L"计 数", 60, 160, 69, 21, 2, 1, hwnd, nullptr);
    countButton_->onClick = OnCount;  // four state images 60001..60004
    controls.push_back(countButton_);

    closeButton_ = new CQvButton();
    closeButton_->Init(L"关 闭", 240, 158, 60, 24, 5, 3, hwnd, nullptr);
    closeButton_->imageId = kCloseImage;
    closeButton_->stateImages = 1;  // one strip holds all three states
    closeButton_->textColor = RGB(255, 255, 255);
    closeButton_->onClick = OnClose;
    controls.push_back(closeButton_);
    ::PostMessageW(hwnd, WM_PAINT, 0, 0);
}

void CSampleDlg::DrawContent(HDC dc) {
    CQvImage& image = CQvImage::Instance();
    HFONT title = CQvFont::Instance().GetFont(12, L"宋体", 1, 0, 0);
    image.DrawString(dc, title, L"框架示例", 10, 8, 200, 16, RGB(255, 255, 255), 255, false, true, 0);
    wchar_t text[64];
    std::swprintf(text, 64, L"已点击 %d 次", clicks);
    HFONT body = CQvFont::Instance().GetFont(14, L"宋体", 0, 0, 0);
    image.DrawString(dc, body, text, 60, 80, 240, 24, RGB(0, 0, 0), 255, false, true, 0);
}

LRESULT CSampleDlg::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE) CQvApp::Instance().ExitApp();
    return CQvDlg::WndProc(wnd, msg, wParam, lParam);
}

void CSampleDlg::OnCount(void* dialog) {
    auto* dlg = static_cast<CSampleDlg*>(dialog);
    ++dlg->clicks;
    ::PostMessageW(dlg->hwnd, WM_PAINT, 0, 0);
}

void CSampleDlg::OnClose(void* dialog) {
    static_cast<CSampleDlg*>(dialog)->Animate(QV_EFFECT_SLIDE_OUT);
    CQvApp::Instance().ExitApp();
}
