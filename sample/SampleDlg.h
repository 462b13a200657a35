#pragma once
// The sample's dialog: the framework's skinned dialog with its default
// background, a counting button drawn from the default skin and a close
// button drawn from an image of the sample's own.
#include <string>

#include "ui/QvDlg.h"

class CQvButton;

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

    CQvButton* countButton_ = nullptr;
    CQvButton* closeButton_ = nullptr;
};
