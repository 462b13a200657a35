#pragma once
// Drawing at the window's DPI. Every layout of the toolkit is written in
// pixels at 96 DPI (the dialog's units); a dialog on a screen of another
// DPI has a window that many times larger and draws into DCs that carry a
// world transform from its units to the device's. GDI scales what it draws
// through that transform (text is rendered at the larger size, not
// stretched); GDI+ and the code that works on pixels directly ask for it.
#include <windows.h>

constexpr UINT kQvBaseDpi = 96;

// The DPI the window is drawn at (96 where the system cannot tell).
UINT QvWindowDpi(HWND wnd);
inline int QvScale(int value, UINT dpi) {
    return dpi == kQvBaseDpi ? value : ::MulDiv(value, static_cast<int>(dpi), kQvBaseDpi);
}
inline int QvUnscale(int value, UINT dpi) {
    return dpi == kQvBaseDpi ? value : ::MulDiv(value, kQvBaseDpi, static_cast<int>(dpi));
}
// Makes dc draw the dialog's units at dpi (nothing at 96).
void QvSetDpiTransform(HDC dc, UINT dpi);
// A rectangle in dc's units as device pixels of dc.
RECT QvToDevice(HDC dc, const RECT& r);

// For work in device pixels on a DC that may carry the transform: while it
// lives, dc draws in device pixels; `transform` is what dc had.
class QvDeviceSpace {
public:
    explicit QvDeviceSpace(HDC dc);
    ~QvDeviceSpace();
    QvDeviceSpace(const QvDeviceSpace&) = delete;
    QvDeviceSpace& operator=(const QvDeviceSpace&) = delete;
    bool scaled() const { return scaled_; }

    XFORM transform{1, 0, 0, 1, 0, 0};

private:
    HDC dc_;
    bool scaled_ = false;
};

// BitBlt in device pixels between DCs that may carry the transform.
void QvCopyDevice(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy);
