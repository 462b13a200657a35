#include "ui/QvDC.h"

#include "ui/QvDpi.h"

CQvDC::CQvDC() = default;

CQvDC::CQvDC(HDC target, RECT& r, bool present, bool isLayered, HWND window) {
    CreateMemDC(target, r, present, isLayered, window);
}

CQvDC::~CQvDC() {
    if (memDC && presentOnDestroy) Draw();
    Release();
}

void CQvDC::Release() {
    if (memDC && prevBitmap) ::SelectObject(memDC, prevBitmap);
    if (bitmap) ::DeleteObject(bitmap);
    if (memDC) ::DeleteDC(memDC);
    memDC = nullptr;
    bitmap = nullptr;
    prevBitmap = nullptr;
}

void CQvDC::CreateMemDC(HDC target, RECT& r, bool present, bool isLayered, HWND window) {
    Release();  // a second call must not leak the first buffer
    targetDC = target;
    rect = r;
    presentOnDestroy = present;
    layered = isLayered;
    wnd = window;
    memDC = ::CreateCompatibleDC(target);
    bitmap = layered ? CreateCompatibleBitmapEx(rect)
                     : ::CreateCompatibleBitmap(target, rect.right - rect.left,
                                                rect.bottom - rect.top);
    if (memDC && bitmap) prevBitmap = ::SelectObject(memDC, bitmap);
}

HBITMAP CQvDC::CreateCompatibleBitmapEx(RECT r) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = r.right - r.left;
    info.bmiHeader.biHeight = r.bottom - r.top;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    return ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

void CQvDC::Draw() {
    Present(nullptr);
}

bool CQvDC::Present(const RECT* dirty) {
    bool shown = false;
    // The buffer may draw at another DPI: what goes out are its pixels.
    QvDeviceSpace device(memDC);
    if (layered) {
        // Position and size follow the window as it is now, not the stored
        // rectangle: effects move the window between frames.
        RECT wr{};
        ::GetWindowRect(wnd, &wr);
        POINT dst{wr.left, wr.top};
        SIZE size{wr.right - wr.left, wr.bottom - wr.top};
        POINT src{0, 0};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
        UPDATELAYEREDWINDOWINFO info{};
        info.cbSize = sizeof(info);
        info.hdcDst = targetDC;
        info.pptDst = &dst;
        info.psize = &size;
        info.hdcSrc = memDC;
        info.pptSrc = &src;
        info.pblend = &blend;
        info.dwFlags = ULW_ALPHA;
        info.prcDirty = dirty;
        shown = ::UpdateLayeredWindowIndirect(wnd, &info) != 0;
        if (shown) NoteFrameSent(wnd);
    } else {
        shown = ::BitBlt(targetDC, rect.left, rect.top, rect.right - rect.left,
                         rect.bottom - rect.top, memDC, 0, 0, SRCCOPY) != 0;
    }
    presentOnDestroy = false;
    return shown;
}
