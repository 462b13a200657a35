#include "SampleDlg.h"

#include <cwchar>

#include "ui/QvApp.h"
#include "ui/QvButton.h"
#include "ui/QvCheckBox.h"
#include "ui/QvMsgBox.h"
#include "ui/QvText.h"
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

    label_ = new CQvText();
    label_->Init(L"框架的标签、复选框和消息框", 60, 44, 240, 20, false);
    label_->SetFont(12, RGB(40, 40, 40), L"宋体", 0, 0, 0);
    controls.push_back(label_);

    check_ = new CQvCheckBox();  // default skin images 60036..60039
    check_->Init(L"记住我的选择", 60, 115, 120, 20, false, 0, 1, hwnd, nullptr);
    check_->font = CQvFont::Instance().GetFont(12, L"宋体", 0, 0, 0);
    controls.push_back(check_);

    askButton_ = new CQvButton();
    askButton_->Init(L"提 示", 150, 160, 69, 21, 2, 1, hwnd, nullptr);
    askButton_->onClick = OnAsk;
    controls.push_back(askButton_);

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

void CSampleDlg::OnAsk(void* dialog) {
    auto* dlg = static_cast<CSampleDlg*>(dialog);
    CQvMsgBox box;  // modal; ends itself after three seconds with "确定"
    int result = box.ShowMsg(dlg->hwnd, dlg->check_->ticked ? L"已选中复选框。" : L"未选中复选框。",
                             L"提示", QV_MSGBOX_OK_CANCEL, 3, 300, 180, QV_EFFECT_SLIDE_IN,
                             QV_EFFECT_NONE);
    dlg->label_->caption = result == QV_MSGBOX_RESULT_OK ? L"消息框答: 确定" : L"消息框答: 取消";
    ::PostMessageW(dlg->hwnd, WM_PAINT, 0, 0);
}

void CSampleDlg::OnClose(void* dialog) {
    static_cast<CSampleDlg*>(dialog)->Animate(QV_EFFECT_SLIDE_OUT);
    CQvApp::Instance().ExitApp();
}
