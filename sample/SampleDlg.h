#pragma once
// The sample's dialog: the framework's skinned dialog with its default
// background, a label, a check box, buttons drawn from the default skin
// (count, message box) and a close button drawn from an image of its own.
#include <string>

#include "ui/QvDlg.h"

class CQvButton;
class CQvCheckBox;
class CQvText;

class CSampleDlg : public CQvDlg {
public:
    ~CSampleDlg() override;

    void OnInit() override;
    void DrawContent(HDC dc) override;
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

    int clicks = 0;

private:
    static void OnCount(void* dialog);
    static void OnClose(void* dialog);
    static void OnAsk(void* dialog);

    CQvButton* countButton_ = nullptr;
    CQvButton* closeButton_ = nullptr;
    CQvButton* askButton_ = nullptr;
    CQvText* label_ = nullptr;
    CQvCheckBox* check_ = nullptr;
};
