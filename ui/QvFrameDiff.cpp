#include "ui/QvFrameDiff.h"

#include <cstring>
#include <initializer_list>

#include "ui/QvDpi.h"

namespace qv {

bool DibRowsOf(HDC dc, DibRows* rows) {
    *rows = DibRows{};
    // The probe below reads pixels by device position.
    QvDeviceSpace device(dc);
    auto bitmap = dc ? static_cast<HBITMAP>(::GetCurrentObject(dc, OBJ_BITMAP)) : nullptr;
    DIBSECTION dib{};
    if (!bitmap || ::GetObjectW(bitmap, sizeof(dib), &dib) != sizeof(dib) ||
        dib.dsBm.bmBitsPixel != 32 || !dib.dsBm.bmBits)
        return false;
    const LONG w = dib.dsBm.bmWidth, h = dib.dsBm.bmHeight < 0 ? -dib.dsBm.bmHeight
                                                               : dib.dsBm.bmHeight;
    auto* bits = static_cast<DWORD*>(dib.dsBm.bmBits);
    // Believed unless the pixels say otherwise (a clip can hide them).
    bool bottomUp = dib.dsBmih.biHeight > 0;
    if (h > 1 && w > 0) {
        // Drawing may still sit in GDI's batch.
        ::GdiFlush();
        const DWORD saved = bits[0];
        for (DWORD marker : {0x00123456u, 0x00654321u}) {
            bits[0] = marker;
            const COLORREF want = RGB((marker >> 16) & 0xFF, (marker >> 8) & 0xFF, marker & 0xFF);
            const bool top = ::GetPixel(dc, 0, 0) == want;
            const bool bottom = ::GetPixel(dc, 0, h - 1) == want;
            if (top != bottom) {
                bottomUp = bottom;
                break;
            }
        }
        bits[0] = saved;
    }
    rows->first = bottomUp ? bits + (h - 1) * w : bits;
    rows->stride = bottomUp ? -w : w;
    rows->width = w;
    rows->height = h;
    return true;
}

bool ChangedRect(HDC now, HDC before, RECT* changed) {
    *changed = RECT{};
    DibRows a, b;
    if (!DibRowsOf(now, &a)) return false;
    const LONG w = a.width, h = a.height;
    *changed = RECT{0, 0, w, h};
    if (!DibRowsOf(before, &b) || b.width != w || b.height != h) return true;
    LONG top = h, bottom = -1, left = w, right = -1;
    for (LONG row = 0; row < h; ++row) {
        const DWORD* ra = a.first + row * a.stride;
        const DWORD* rb = b.first + row * b.stride;
        if (std::memcmp(ra, rb, static_cast<size_t>(w) * sizeof(DWORD)) == 0) continue;
        if (top == h) top = row;
        bottom = row;
        LONG l = 0, r = w - 1;
        while (ra[l] == rb[l]) ++l;
        while (ra[r] == rb[r]) --r;
        if (l < left) left = l;
        if (r > right) right = r;
    }
    if (bottom < 0) {
        *changed = RECT{};
        return false;
    }
    *changed = RECT{left, top, right + 1, bottom + 1};
    return true;
}

}  // namespace qv
