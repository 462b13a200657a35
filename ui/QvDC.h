#pragma once
// CQvDC, the double buffer of every paint: draw into memDC, present with
// a block copy or, for a layered window, UpdateLayeredWindow.
#include <windows.h>

#include "base/QvExport.h"

// The toolkit's double buffer: draw into memDC, then present with a block
// copy into the target DC or, for a layered window, with
// UpdateLayeredWindow and per-pixel alpha.
class QV_API CQvDC {
public:
    CQvDC();
    CQvDC(HDC target, RECT& rect, bool presentOnDestroy, bool layered, HWND wnd);
    ~CQvDC();
    // The buffer owns its DC and bitmap; a copy would release them twice.
    CQvDC(const CQvDC&) = delete;
    CQvDC& operator=(const CQvDC&) = delete;

    void CreateMemDC(HDC target, RECT& rect, bool presentOnDestroy, bool layered, HWND wnd);
    HBITMAP CreateCompatibleBitmapEx(RECT rect);
    void Draw();
    // Presents only dirty (client coordinates) of a layered window, whose
    // other pixels must already be on screen; null presents the whole.
    bool Present(const RECT* dirty);

    HDC memDC = nullptr;
    HDC targetDC = nullptr;
    RECT rect{};
    HBITMAP bitmap = nullptr;
    HGDIOBJ prevBitmap = nullptr;
    bool presentOnDestroy = false;
    bool layered = false;
    HWND wnd = nullptr;
    // Constant alpha a layered present applies on top of the per-pixel
    // alpha: how far a fading dialog has faded.
    BYTE alpha = 255;

    // A window was shown: a frame sent to it while hidden is now on screen.
    static void NoteWindowShown(HWND wnd);

private:
    void Release();
    // Tells a benchmark waiting for it that the first frame is on screen:
    // one sent to a shown window, or sent before the window was shown.
    static void NoteFrameSent(HWND wnd);
    static void MarkFirstFrame();
};
