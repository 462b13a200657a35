// Composing a dialog's frame: background, content, controls.
#include "base/QvScoped.h"
#include "ui/QvDlg.h"
#include "ui/QvImage.h"

namespace {

// GDI fills leave the alpha bytes of a 32-bit DIB at zero, which a layered
// window shows as fully transparent. Make the filled area opaque.
void MakeOpaque(HDC dc, const RECT& rc) {
    auto bitmap = static_cast<HBITMAP>(::GetCurrentObject(dc, OBJ_BITMAP));
    DIBSECTION dib{};
    if (!bitmap || ::GetObjectW(bitmap, sizeof(dib), &dib) != sizeof(dib)) return;
    if (dib.dsBm.bmBitsPixel != 32 || !dib.dsBm.bmBits) return;
    const LONG w = dib.dsBm.bmWidth;
    const LONG h = dib.dsBm.bmHeight < 0 ? -dib.dsBm.bmHeight : dib.dsBm.bmHeight;
    const bool bottomUp = dib.dsBmih.biHeight > 0;
    const LONG left = rc.left < 0 ? 0 : rc.left, right = rc.right > w ? w : rc.right;
    const LONG top = rc.top < 0 ? 0 : rc.top, bottom = rc.bottom > h ? h : rc.bottom;
    auto* px = static_cast<DWORD*>(dib.dsBm.bmBits);
    for (LONG row = top; row < bottom; ++row) {
        DWORD* line = px + (bottomUp ? h - 1 - row : row) * w;
        for (LONG col = left; col < right; ++col) line[col] |= 0xFF000000;
    }
}

}  // namespace

void CQvDlg::Paint(HDC target) {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    CQvDC frame(target, rc, true, layered, hwnd);
    DrawBackground(frame.memDC, rc);
    DrawContent(frame.memDC);
    if (!inputSuspended) {
        for (CQvBase* c : controls) c->Paint(frame.memDC);
        // Kept so a single control can later repaint itself without the
        // whole dialog being recomposed.
        ::BitBlt(frameLayer.memDC, 0, 0, rc.right - rc.left, rc.bottom - rc.top, frame.memDC, 0,
                 0, SRCCOPY);
    }
    // Leaving scope presents the frame.
}

void CQvDlg::DrawBackground(HDC dc, RECT rc) {
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (isChild && parentBgDC) {
        // The child's own rectangle cut out of the parent's background.
        ::BitBlt(dc, 0, 0, w, h, parentBgDC, x, y, SRCCOPY);
        return;
    }
    if (bgImageId > 0) {
        CQvImage::Instance().DrawStretchImg(dc, bgImageId, L"IMG", 0, 0, w, h, bgSplitH, 1, 0,
                                            bgSplitV);
        return;
    }
    qv::ScopedBrush brush(::CreateSolidBrush(bgColor));
    ::FillRect(dc, &rc, brush.get());
    MakeOpaque(dc, rc);
}
