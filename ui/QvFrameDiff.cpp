#include "ui/QvFrameDiff.h"

#include <cstring>

namespace qv {

namespace {

bool DibOf(HBITMAP bitmap, DIBSECTION* dib) {
    return bitmap && ::GetObjectW(bitmap, sizeof(*dib), dib) == sizeof(*dib) &&
           dib->dsBm.bmBitsPixel == 32 && dib->dsBm.bmBits;
}

}  // namespace

bool ChangedRect(HBITMAP now, HBITMAP before, RECT* changed) {
    *changed = RECT{};
    DIBSECTION a{}, b{};
    if (!DibOf(now, &a)) return false;
    const LONG w = a.dsBm.bmWidth, h = a.dsBm.bmHeight;
    *changed = RECT{0, 0, w, h};
    // Drawing may still sit in GDI's batch.
    ::GdiFlush();
    if (!DibOf(before, &b) || b.dsBm.bmWidth != w || b.dsBm.bmHeight != h ||
        (a.dsBmih.biHeight > 0) != (b.dsBmih.biHeight > 0))
        return true;
    const bool bottomUp = a.dsBmih.biHeight > 0;
    const auto* pa = static_cast<const DWORD*>(a.dsBm.bmBits);
    const auto* pb = static_cast<const DWORD*>(b.dsBm.bmBits);
    LONG top = h, bottom = -1, left = w, right = -1;
    for (LONG row = 0; row < h; ++row) {
        const LONG line = (bottomUp ? h - 1 - row : row) * w;
        const DWORD* ra = pa + line;
        const DWORD* rb = pb + line;
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
