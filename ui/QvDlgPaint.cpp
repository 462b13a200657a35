// Composing a dialog's frame: background, content, controls.
#include <cstring>

#include "base/QvScoped.h"
#include "ui/QvDlg.h"
#include "ui/QvDpi.h"
#include "ui/QvFrameDiff.h"
#include "ui/QvImage.h"

namespace {

// GDI fills leave the alpha bytes of a 32-bit DIB at zero, which a layered
// window shows as fully transparent. Make the filled area opaque.
void MakeOpaque(HDC dc, const RECT& area) {
    const RECT rc = QvToDevice(dc, area);
    qv::DibRows dib;
    if (!qv::DibRowsOf(dc, &dib)) return;
    const LONG w = dib.width, h = dib.height;
    const LONG left = rc.left < 0 ? 0 : rc.left, right = rc.right > w ? w : rc.right;
    const LONG top = rc.top < 0 ? 0 : rc.top, bottom = rc.bottom > h ? h : rc.bottom;
    for (LONG row = top; row < bottom; ++row) {
        DWORD* line = dib.first + row * dib.stride;
        for (LONG col = left; col < right; ++col) line[col] |= 0xFF000000;
    }
}

// A control, and the focus mark on it when it has the keyboard's focus.
void PaintControl(CQvBase* c, HDC dc) {
    c->Paint(dc);
    if (!c->focusMarked || !c->visible) return;
    RECT r;
    c->GetRect(r);
    c->DrawFocusMark(dc, r.left, r.top);
}

}  // namespace

void CQvDlg::Paint(HDC target) {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    if (layered) {
        PaintLayered(target, rc);
        return;
    }
    CQvDC frame(target, rc, true, layered, hwnd);
    QvSetDpiTransform(frame.memDC, dpi);
    DrawBackground(frame.memDC, LogicalClient());
    DrawContent(frame.memDC);
    if (!inputSuspended) {
        for (CQvBase* c : controls) PaintControl(c, frame.memDC);
        // Kept so a single control can later repaint itself without the
        // whole dialog being recomposed.
        QvCopyDevice(frameLayer.memDC, 0, 0, rc.right - rc.left, rc.bottom - rc.top, frame.memDC, 0,
                     0);
    }
    // Leaving scope presents the frame.
}

// A layered window keeps what it was last sent: the frame is composed into
// a buffer kept from frame to frame and only the pixels that differ from
// the last frame (kept in frameLayer) are sent again.
void CQvDlg::PaintLayered(HDC target, const RECT& rc) {
    const LONG w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (!composeLayer.memDC || composeLayer.rect.right - composeLayer.rect.left != w ||
        composeLayer.rect.bottom - composeLayer.rect.top != h) {
        RECT size = rc;
        composeLayer.CreateMemDC(target, size, false, true, hwnd);
        QvSetDpiTransform(composeLayer.memDC, dpi);
        frameShown = false;
    }
    if (!composeLayer.memDC || !composeLayer.bitmap) return;
    composeLayer.targetDC = target;
    DIBSECTION dib{};
    // Every frame starts transparent, as a fresh buffer would.
    if (::GetObjectW(composeLayer.bitmap, sizeof(dib), &dib) == sizeof(dib) && dib.dsBm.bmBits) {
        ::GdiFlush();
        std::memset(dib.dsBm.bmBits, 0, static_cast<size_t>(dib.dsBm.bmWidthBytes) * h);
    }
    DrawBackground(composeLayer.memDC, LogicalClient());
    DrawContent(composeLayer.memDC);
    if (!inputSuspended)
        for (CQvBase* c : controls) PaintControl(c, composeLayer.memDC);

    RECT wr{};
    ::GetWindowRect(hwnd, &wr);
    const SIZE now{wr.right - wr.left, wr.bottom - wr.top};
    // While an effect runs it presents frames of its own.
    const bool whole = !frameShown || animating || now.cx != shownSize.cx || now.cy != shownSize.cy;
    RECT dirty = rc;
    if (!whole && !qv::ChangedRect(composeLayer.memDC, frameLayer.memDC, &dirty)) return;
    composeLayer.alpha = static_cast<BYTE>(fadeAlpha.load());
    const bool shown = composeLayer.Present(whole ? nullptr : &dirty);
    // Kept so a single control can later repaint itself without the whole
    // dialog being recomposed, and to compare the next frame with.
    QvCopyDevice(frameLayer.memDC, dirty.left, dirty.top, dirty.right - dirty.left,
                 dirty.bottom - dirty.top, composeLayer.memDC, dirty.left, dirty.top);
    shownSize = now;
    frameShown = shown && !animating;
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
