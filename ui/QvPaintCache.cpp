#include "ui/QvPaintCache.h"

#include <algorithm>
#include <cstring>

namespace qv {

namespace {

constexpr size_t kMaxLooks = 8;

void Read(const DWORD* bits, LONG stride, const RECT& r, std::vector<DWORD>* out) {
    const LONG w = r.right - r.left;
    out->resize(static_cast<size_t>(w) * (r.bottom - r.top));
    DWORD* to = out->data();
    for (LONG row = r.top; row < r.bottom; ++row, to += w)
        std::memcpy(to, bits + row * stride + r.left, w * sizeof(DWORD));
}

}  // namespace

bool PaintCache::Lookup(HDC dc, const RECT& area, const std::wstring& key, Pixels* px) {
    auto bitmap = static_cast<HBITMAP>(::GetCurrentObject(dc, OBJ_BITMAP));
    DIBSECTION dib{};
    if (!bitmap || ::GetObjectW(bitmap, sizeof(dib), &dib) != sizeof(dib) ||
        dib.dsBm.bmBitsPixel != 32 || !dib.dsBm.bmBits)
        return false;
    // A DC with a window origin or a clip would place pixels elsewhere.
    POINT origin{};
    if (::GetViewportOrgEx(dc, &origin) && (origin.x || origin.y)) return false;
    if (::GetWindowOrgEx(dc, &origin) && (origin.x || origin.y)) return false;
    HRGN clip = ::CreateRectRgn(0, 0, 0, 0);
    const int clipped = clip ? ::GetClipRgn(dc, clip) : -1;
    if (clip) ::DeleteObject(clip);
    if (clipped != 0) return false;
    const LONG w = dib.dsBm.bmWidth, h = dib.dsBm.bmHeight;
    RECT r{std::max(area.left, 0L), std::max(area.top, 0L), std::min(area.right, w),
           std::min(area.bottom, h)};
    if (r.left >= r.right || r.top >= r.bottom) return false;
    ::GdiFlush();
    auto* bits = static_cast<DWORD*>(dib.dsBm.bmBits);
    // Rows are addressed top-down: a bottom-up DIB starts at its last row.
    if (dib.dsBmih.biHeight > 0) {
        px->bits = bits + (h - 1) * w;
        px->stride = -w;
    } else {
        px->bits = bits;
        px->stride = w;
    }
    px->rect = r;
    Read(px->bits, px->stride, r, &px->beneath);
    for (const Look& look : looks_) {
        if (look.key != key || !EqualRect(&look.rect, &r) || look.beneath != px->beneath) continue;
        const LONG lw = r.right - r.left;
        const DWORD* from = look.drawn.data();
        for (LONG row = r.top; row < r.bottom; ++row, from += lw)
            std::memcpy(px->bits + row * px->stride + r.left, from, lw * sizeof(DWORD));
        return true;
    }
    return false;
}

void PaintCache::Store(const Pixels& px, const std::wstring& key) {
    if (!px.bits) return;
    ::GdiFlush();
    Look look{key, px.rect, px.beneath, {}};
    Read(px.bits, px.stride, px.rect, &look.drawn);
    // The same look over other pixels replaces the old one.
    auto same = std::find_if(looks_.begin(), looks_.end(), [&](const Look& l) {
        return l.key == key && EqualRect(&l.rect, &px.rect);
    });
    if (same != looks_.end()) {
        *same = std::move(look);
        return;
    }
    if (looks_.size() >= kMaxLooks) looks_.erase(looks_.begin());
    looks_.push_back(std::move(look));
}

}  // namespace qv
