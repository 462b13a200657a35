// Show and hide effects that move, resize and fade the real window. They
// run on whichever thread calls Animate; from a worker thread the window
// calls are serviced by the user-interface thread, which keeps pumping.
#include "ui/QvDlg.h"
#include "ui/QvDpi.h"
#include "ui/QvFade.h"

void CQvDlg::Animate(int effect) {
    // The only guard against overlapping effects: a second one would fight
    // the first over the window's position.
    if (animating.exchange(true)) return;
    frameShown = false;
    RunEffect(effect);
    // What the effect presented last need not be the dialog's frame.
    frameShown = false;
    animating = false;
    ::PostMessageW(hwnd, WM_QV_ANIMATED, 0, 0);
}

void CQvDlg::SetAlpha(int alpha) {
    frameShown = false;
    fadeAlpha = alpha & 0xFF;
    if (layered) {
        qv::SetWindowFade(hwnd, static_cast<BYTE>(alpha & 0xFF));
        // A window drawn with UpdateLayeredWindow refuses it for good once
        // SetLayeredWindowAttributes has been called on it (Wine then shows
        // it black): the fade goes into the blend of a frame presented now.
        ::SendMessageW(hwnd, WM_PAINT, 0, 0);
        return;
    }
    LONG ex = ::GetWindowLongW(hwnd, GWL_EXSTYLE);
    ::SetWindowLongW(hwnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
    ::SetLayeredWindowAttributes(hwnd, 0, static_cast<BYTE>(alpha & 0xFF), LWA_ALPHA);
}

void CQvDlg::RestoreOpacity() {
    if (fadeAlpha != 255) SetAlpha(255);
}

void CQvDlg::MoveFrame(int left, int top, int w, int h, UINT flags) {
    // Sizes in the dialog's units, places on the screen.
    ::SetWindowPos(hwnd, HWND_TOP, left, top, QvScale(w, dpi), QvScale(h, dpi), flags);
}

void CQvDlg::RunEffect(int effect) {
    const int w = width, h = height;
    switch (effect) {
    case QV_EFFECT_SLIDE_IN:
        SlideIn();
        break;
    case QV_EFFECT_UNROLL:
        RestoreOpacity();
        for (int k = 1; k <= 5; ++k) {
            MoveFrame(x, y, w, k * (h / 5));
            ::Sleep(50);
        }
        MoveFrame(x, y, w, h);
        Redraw();
        break;
    case QV_EFFECT_ROLL_UP:
        for (int k = 1; k <= 5; ++k) {
            MoveFrame(x, y, w, h - k * (h / 5));
            ::Sleep(50);
        }
        Hide();
        break;
    case QV_EFFECT_SLIDE_OUT:
        // The stored position stays: centring or showing again restores it.
        for (int k = 1; k <= 5; ++k) {
            MoveFrame(x - k * ((x + w) / 5), y, w, h);
            ::Sleep(50);
        }
        break;
    case QV_EFFECT_OPEN_MIDDLE:
        OpenFromMiddle();
        break;
    case QV_EFFECT_COLLAPSE_MIDDLE:
        CollapseToMiddle();
        break;
    case QV_EFFECT_FADE_IN:
        SetAlpha(0);
        ::ShowWindow(hwnd, SW_SHOW);
        for (int k = 1; k <= 10; ++k) {
            SetAlpha(19 * k + 60);
            ::Sleep(30);
        }
        // The steps stop at 250: a shown dialog is fully opaque.
        SetAlpha(255);
        break;
    case QV_EFFECT_FADE_OUT:
        for (int k = 1; k <= 20; ++k) {
            SetAlpha(255 - 12 * k);
            ::Sleep(30);
        }
        // The steps stop at 15, a faint ghost of the dialog: end fully gone.
        SetAlpha(0);
        break;
    case QV_EFFECT_ZOOM_IN:
        ZoomIn();
        break;
    case QV_EFFECT_SWELL_VANISH:
        SwellAndVanish();
        break;
    case QV_EFFECT_FLIP_OVER:
        Flip(false);
        break;
    case QV_EFFECT_FLIP_CLOSED:
        Flip(true);
        break;
    case QV_EFFECT_WIPE_OPEN:
        RestoreOpacity();
        for (int k = 1; k <= 10; ++k) {
            MoveFrame(x, y, k * (w / 10), h);
            ::Sleep(20);
        }
        MoveFrame(x, y, w, h);
        Redraw();
        break;
    case QV_EFFECT_WIPE_CLOSED:
        for (int k = 1; k <= 10; ++k) {
            MoveFrame(x, y, w - k * (w / 10), h);
            Redraw();
            ::Sleep(20);
        }
        Hide();
        break;
    default:
        break;  // unknown effects run nothing; the end is still announced
    }
}

void CQvDlg::SlideIn() {
    const int w = width, h = height;
    const int step = (x + w) / 3;
    int p = -w;
    RestoreOpacity();
    for (int i = 0; i < 3; ++i) {
        p += step;
        MoveFrame(p, y, w, h);
        ::Sleep(50);
    }
    // A small bounce: overshoot has already happened, so back off and return.
    for (int i = 0; i < 2; ++i) {
        p -= 5;
        MoveFrame(p, y, w, h);
        ::Sleep(20);
    }
    for (int i = 0; i < 2; ++i) {
        p += 5;
        MoveFrame(p, y, w, h);
        ::Sleep(20);
    }
    MoveFrame(x, y, w, h);
    Redraw();
}

void CQvDlg::CollapseToMiddle() {
    const int w = width, h = height;
    inputSuspended = true;
    for (int k = 1; k <= 9; ++k) {
        MoveFrame(x, y + k * ((h / 10) / 2), w, h - k * (h / 10));
        ::Sleep(15);
    }
    MoveFrame(x, y + h / 2, w, 1);
    Redraw();
    ::Sleep(50);
    Hide();
}

void CQvDlg::ZoomIn() {
    const int w = width, h = height;
    inputSuspended = true;
    const int cx = x + w / 2, cy = y + h / 2;
    for (int k = 1; k <= 3; ++k) {
        SetAlpha(50 * k);
        MoveFrame(cx - k * ((w / 3) / 2), cy - k * ((h / 3) / 2), k * (w / 3), k * (h / 3));
        ::Sleep(20);
    }
    // Overshoot a little beyond the full size, then settle back.
    const int r = w ? (10 * h) / w : 0;
    width += 60;
    height += 6 * r;
    int left = x - 30, top = y - 3 * r;
    MoveFrame(left, top, width, height);
    if (roundCorners) SetRoundRgn();
    for (int k = 1; k <= 3; ++k) {
        SetAlpha(33 * k - 106);
        width -= 20;
        height -= 2 * r;
        left += 10;
        top += r;
        MoveFrame(left, top, width, height);
        ::Sleep(20);
    }
    width = w;
    height = h;
    MoveFrame(x, y, w, h);
    if (roundCorners) SetRoundRgn();
    inputSuspended = false;
    // The overshoot's steps stop at 249: the dialog ends fully opaque.
    SetAlpha(255);
    Redraw();
}

void CQvDlg::SwellAndVanish() {
    inputSuspended = true;
    const int r = width ? (10 * height) / width : 0;
    for (int k = 1; k <= 3; ++k) {
        SetAlpha(250 - 33 * k);
        y -= r;
        width += 20;
        x -= 10;
        height += 2 * r;
        MoveFrame(x, y, width, height);
        if (roundCorners) SetRoundRgn();
        Redraw();
        ::Sleep(20);
    }
    const int cw = width / 3, ch = height / 3;
    for (int k = 1; k <= 3; ++k) {
        SetAlpha(50 * (3 - k));
        y += ch / 2;
        x += cw / 2;
        MoveFrame(x, y, width - k * cw, height - k * ch);
        ::Sleep(20);
    }
}
