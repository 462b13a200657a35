#pragma once
// CQvApp, the process: the application's name and folder, the message loop
// and ExitApp, which stops the framework's threads and ends the process.
#include <windows.h>
#include "base/QvExport.h"

// The process-wide application object: module handle, main window, program
// folder and application name, read by the window toolkit.
class QV_API CQvApp {
public:
    static CQvApp& Instance();

    CQvApp();
    ~CQvApp();
    CQvApp(const CQvApp&);
    CQvApp& operator=(const CQvApp&);

    void SetAppName(const wchar_t* name);
    int MsgLoop();
    [[noreturn]] void ExitApp();
    void DrawCaret(HWND wnd);

    HINSTANCE hInstance;
    HWND mainWnd = nullptr;
    wchar_t curPath[261] = {};
    wchar_t appName[200];
    bool exiting = false;
    int caretX = -1;
    int caretY = -1;
    int caretHeight = 20;
};
