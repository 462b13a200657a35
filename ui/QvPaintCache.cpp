#include "ui/QvPaintCache.h"

#include <algorithm>
#include <cstring>

#include "base/QvScoped.h"
#include "ui/QvDpi.h"
#include "ui/QvFrameDiff.h"

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
    // A DC with a window origin or a clip would place pixels elsewhere.
    POINT origin{};
    if (::GetViewportOrgEx(dc, &origin) && (origin.x || origin.y)) return false;
    if (::GetWindowOrgEx(dc, &origin) && (origin.x || origin.y)) return false;
    qv::ScopedRgn clip(::CreateRectRgn(0, 0, 0, 0));
    if (!clip || ::GetClipRgn(dc, clip.get()) != 0) return false;
    DibRows dib;
    if (!DibRowsOf(dc, &dib)) return false;
    // Kept in device pixels: a DC drawn at another DPI covers more of them.
    const RECT device = QvToDevice(dc, area);
    RECT r{std::max(device.left, 0L), std::max(area.top, 0L), std::min(device.right, dib.width),
           std::min(device.bottom, dib.height)};
    if (r.left >= r.right || r.top >= r.bottom) return false;
    px->bits = dib.first;
    px->stride = dib.stride;
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
