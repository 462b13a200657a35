#include "ui/QvDpi.h"

#include "base/QvScoped.h"

UINT QvWindowDpi(HWND wnd) {
    // Windows 10 1607 and later know each window's; before, the system's.
    using GetDpi = UINT(WINAPI*)(HWND);
    static const GetDpi forWindow = reinterpret_cast<GetDpi>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    UINT dpi = forWindow && wnd ? forWindow(wnd) : 0;
    if (dpi == 0) {
        HDC screen = ::GetDC(nullptr);
        if (screen) {
            dpi = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSX));
            ::ReleaseDC(nullptr, screen);
        }
    }
    return dpi >= 48 && dpi <= 960 ? dpi : kQvBaseDpi;
}

void QvSetDpiTransform(HDC dc, UINT dpi) {
    if (!dc || dpi == kQvBaseDpi) return;
    const float s = static_cast<float>(dpi) / kQvBaseDpi;
    XFORM scale{s, 0, 0, s, 0, 0};
    ::SetGraphicsMode(dc, GM_ADVANCED);
    ::SetWorldTransform(dc, &scale);
}

RECT QvToDevice(HDC dc, const RECT& r) {
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    if (dc) ::LPtoDP(dc, corners, 2);
    return RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}

QvDeviceSpace::QvDeviceSpace(HDC dc) : dc_(dc) {
    if (!dc || ::GetGraphicsMode(dc) != GM_ADVANCED || !::GetWorldTransform(dc, &transform))
        return;
    scaled_ = transform.eM11 != 1 || transform.eM22 != 1 || transform.eM12 != 0 ||
              transform.eM21 != 0 || transform.eDx != 0 || transform.eDy != 0;
    if (scaled_) ::ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
}

QvDeviceSpace::~QvDeviceSpace() {
    if (scaled_) ::SetWorldTransform(dc_, &transform);
}

void QvCopyDevice(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy) {
    QvDeviceSpace to(dst), from(src);
    ::BitBlt(dst, x, y, w, h, src, sx, sy, SRCCOPY);
}
