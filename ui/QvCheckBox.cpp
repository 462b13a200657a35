#include "ui/QvCheckBox.h"

#include "ui/QvImage.h"

namespace {

constexpr int kCheckImage = 60036;  // 60036..60039: one image per QvCheckState
constexpr int kBoxSize = 15;

}  // namespace

CQvCheckBox::CQvCheckBox() : textOffsetY(QvCaptionOffsetY()) {
    imageId = kCheckImage;
    imageBase = L"checkbox";
}

CQvCheckBox::~CQvCheckBox() = default;

void CQvCheckBox::Init(const wchar_t* text, int left, int top, int w, int h, bool tick,
                       int edgeH, int frameCount, HWND owner, const wchar_t* path) {
    imageId = kCheckImage;
    if (tick) {
        ticked = true;
        state = QV_CHECK_ON;
    } else {
        ticked = false;  // the state is left as it was
    }
    caption = text ? text : L"";
    x = left;
    y = top;
    width = w;
    height = h;
    splitH = edgeH;
    frames = frameCount;
    imageBase = L"checkbox";
    if (path) {
        imagePath = path;
        imageSource = QV_IMAGE_FROM_FILE;
    }
    ownerWnd = owner;
    textOffsetY = QvCaptionOffsetY();
}

void CQvCheckBox::Paint(HDC dc) {
    if (IsInWindow()) DrawAt(dc, x - originX, y - originY);
}

void CQvCheckBox::DrawAt(HDC dc, int px, int py) {
    if (!visible || !dc) return;
    DrawStateImage(dc, px, py + 2, kBoxSize, kBoxSize);
    if (!caption.empty())
        CQvImage::Instance().DrawString(dc, font, caption.c_str(), px + 18, py + textOffsetY,
                                        width - 20, height, textColor, 254, false, true, 0);
}

bool CQvCheckBox::OnMouse(int mx, int my, int event, void* target) {
    RECT r;
    GetRect(r);
    const bool inside = mx >= r.left && mx <= r.right && my >= r.top && my <= r.bottom;
    if (!inside) {
        if (state != QV_CHECK_OFF && state != QV_CHECK_ON) {
            state = ticked ? QV_CHECK_ON : QV_CHECK_OFF;
            Refresh(true);
        }
        return false;
    }
    switch (event) {
    case QV_MOUSE_LDOWN:
        pressed = true;
        if (onDown) onDown(target);
        break;
    case QV_MOUSE_LUP:
        if (pressed) {
            pressed = false;
            ticked = !ticked;
            state = ticked ? QV_CHECK_ON_HOVER : QV_CHECK_OFF_HOVER;
            Refresh(true);
            if (onClick) onClick(target);
        }
        break;
    case QV_MOUSE_MOVE:
        if (state != QV_CHECK_OFF_HOVER && state != QV_CHECK_ON_HOVER) {
            state = ticked ? QV_CHECK_ON_HOVER : QV_CHECK_OFF_HOVER;
            Refresh(true);
        }
        break;
    default:
        break;
    }
    return true;
}
