// A program built on the installed framework: one skinned dialog.
#include <windows.h>

#include "SampleDlg.h"
#include "ui/QvApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    CQvApp& app = CQvApp::Instance();
    app.SetAppName(L"框架示例");  // also the window's title
    CSampleDlg dlg;
    if (!dlg.Create(0, 0, 360, 220, 0, true, nullptr, 0)) return 1;
    dlg.ShowDlg(QV_EFFECT_SLIDE_IN, true, SW_SHOW);
    app.mainWnd = dlg.hwnd;
    return app.MsgLoop();  // the close button ends the process from inside
}
