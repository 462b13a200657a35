// Effects that animate a snapshot of the dialog instead of the live window:
// opening from the middle line and the two flips.
#include <cmath>

#include "base/QvScoped.h"
#include "ui/QvDlg.h"
#include "ui/QvDpi.h"
#include "ui/QvImage.h"

namespace {

// A picture of the dialog's last complete frame, held as a BMP in memory.
// The window DC stays borrowed for as long as the frames are drawn.
class Snapshot {
public:
    explicit Snapshot(CQvDlg& dlg) : dlg_(dlg), dc_(dlg.hwnd) {
        // Painting refreshes the frame layer with background, content and
        // controls before the picture is taken.
        dlg.Paint(dc_.get());
        if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream_.put()))) {
            stream_.reset();
            return;
        }
        CQvImage::Instance().BmToStream(dlg.frameLayer.bitmap, stream_.get(), L"bmp");
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    explicit operator bool() const { return static_cast<bool>(stream_); }
    HDC dc() const { return dc_.get(); }
    // Every frame decodes the picture anew; it must read from the start.
    IStream* Rewound() {
        LARGE_INTEGER zero{};
        stream_->Seek(zero, STREAM_SEEK_SET, nullptr);
        return stream_.get();
    }
    RECT FrameRect() const { return dlg_.frameLayer.rect; }

private:
    CQvDlg& dlg_;
    qv::ScopedWindowDC dc_;
    qv::ComPtr<IStream> stream_;
};

}  // namespace

void CQvDlg::OpenFromMiddle() {
    const int w = width, h = height;
    MoveFrame(x, y, w, h, SWP_HIDEWINDOW);
    RestoreOpacity();
    inputSuspended = false;
    Redraw();
    Snapshot shot(*this);
    if (!shot) {
        // Without a picture, at least do not leave the dialog hidden.
        MoveFrame(x, y, w, h);
        Redraw();
        return;
    }
    const int step = h / 10;
    for (int k = 1; k <= 10; ++k) {
        // A band of the picture's middle grows outwards from the centre line.
        const int c = k * step;
        MoveFrame(x, y + (h / 2 - k * (step / 2)), w, c);
        RECT rc = shot.FrameRect();
        CQvDC frame(shot.dc(), rc, false, false, hwnd);
        QvSetDpiTransform(frame.memDC, dpi);
        // The picture is in device pixels, the frame in the dialog's units.
        RECT src{0, QvScale((h - c) / 2, dpi), QvScale(w, dpi), QvScale((h - c) / 2 + c, dpi)};
        CQvImage::Instance().DrawImg(frame.memDC, shot.Rewound(), 0, 0, w, c, &src);
        frame.Draw();
        ::Sleep(10);
    }
    MoveFrame(x, y, w, h);
    Redraw();
}

void CQvDlg::Flip(bool closing) {
    const int w = width, h = height;
    if (!closing) RestoreOpacity();
    LONG ex = ::GetWindowLongW(hwnd, GWL_EXSTYLE);
    if (!layered) {
        // An earlier fade gave the window SetLayeredWindowAttributes, after
        // which UpdateLayeredWindow fails: leaving the layered style resets
        // that, and the frames carry the fade instead.
        ::SetWindowLongW(hwnd, GWL_EXSTYLE, ex & ~WS_EX_LAYERED);
    }
    ::SetWindowLongW(hwnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
    if (!closing) ::ShowWindow(hwnd, SW_SHOW);
    Snapshot shot(*this);
    if (shot) {
        // Below ten pixels w / 10 is 0 and the frames would never advance.
        const int step = w >= 10 ? w / 10 : 1;
        const int half = w / 2;
        const int last = closing ? half : w;
        for (int s = 0; s <= last; s += step) {
            const int k = s / step;
            const int span = 2 * half - k * step;
            RECT rc = shot.FrameRect();
            CQvDC frame(shot.dc(), rc, false, true, hwnd);
            QvSetDpiTransform(frame.memDC, dpi);
            frame.alpha = static_cast<BYTE>(fadeAlpha.load());
            if (closing) {
                // The picture tilts by up to 15 pixels as it narrows.
                const int d = -half + k * step;
                const double ratio = half ? static_cast<double>(d) * d / (double(half) * half) : 1.0;
                const double inner = (1.0 - ratio) * 15.0 * 15.0;
                const int e = static_cast<int>(15.0 - std::sqrt(inner > 0 ? inner : 0.0));
                CQvImage::Instance().DrawRotate3D(frame.memDC, shot.Rewound(), s, e, span, 30 - e,
                                                  s, h + e);
            } else {
                CQvImage::Instance().DrawRotate3D(frame.memDC, shot.Rewound(), s, 0, span, 0, s, h);
            }
            frame.Draw();
            ::Sleep(20);
        }
    }
    if (closing) {
        if (isChild) Hide();
        return;
    }
    if (!layered) {
        ex = ::GetWindowLongW(hwnd, GWL_EXSTYLE);
        ::SetWindowLongW(hwnd, GWL_EXSTYLE, ex & ~WS_EX_LAYERED);
    }
    Redraw();
}
