#pragma once
// CQvWin, one top-level or child window of its own class whose window
// procedure finds the object and calls its virtual WndProc.
#include <string>

#include "ui/QvBase.h"

// Owns one Win32 window with a class of its own; every toolkit window class
// shares one window procedure that routes messages to the object.
class CQvWin : public CQvBase {
public:
    CQvWin();
    ~CQvWin() override;
    CQvWin(const CQvWin&) = delete;
    CQvWin& operator=(const CQvWin&) = delete;

    void Show(bool show) override;
    void Paint(HDC dc) override;
    virtual void OnInit();
    virtual void SetupControls();
    virtual LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    virtual void Redraw();

    bool Create(int x, int y, int width, int height, DWORD exStyle, bool layered, HWND parent,
                DWORD style);
    void RegisterWndClass();

    HWND hwnd = nullptr;
    std::wstring className;
    bool layered = false;
    WORD iconId = 0;
    bool isChild = false;
    bool initDone = false;

private:
    void DestroyOwnWindow();
};

LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
