#include "ui/QvButton.h"

#include <algorithm>
#include <cwchar>

#include "ui/QvImage.h"
#include "ui/QvSkin.h"

namespace {

// The default skin's button: numbered state images from 60001, or a strip
// there, found as "button" in a themes folder or package.
constexpr int kButtonImage = 60001;
constexpr wchar_t kButtonImageBase[] = L"button";
constexpr int kEdgeV = 2;  // rows kept at the top and bottom when stretched

// The button of the short constructor: the default skin's, 69 × 21, one
// image per state from 60001, on the row of a 450 × 230 dialog's buttons.
constexpr int kRowTop = 148;
constexpr int kWidth = 69;
constexpr int kHeight = 21;
constexpr int kEdgeH = 2;
constexpr int kFrames = 1;

}  // namespace

CQvButton::CQvButton() : textOffsetY(QvCaptionOffsetY()) {
    imageId = kButtonImage;
    imageBase = kButtonImageBase;
}

CQvButton::CQvButton(const wchar_t* text, int left) {
    pressed = false;
    Init(text, left, kRowTop, kWidth, kHeight, kEdgeH, kFrames, nullptr, nullptr);
}

CQvButton::~CQvButton() = default;

void CQvButton::Init(const wchar_t* text, int left, int top, int w, int h, int edgeH,
                     int frameCount, HWND owner, const wchar_t* path) {
    imageId = kButtonImage;
    resType = L"IMG";
    state = QV_BTN_NORMAL;
    enabled = true;
    caption = text ? text : L"";
    x = left;
    y = top;
    width = w;
    height = h;
    splitH = edgeH;
    splitV = kEdgeV;
    frames = frameCount;
    imageBase = kButtonImageBase;
    imageExt = L".png";
    ownerWnd = owner;
    onDown = nullptr;
    onClick = nullptr;
    textOffsetX = 0;
    textOffsetY = QvCaptionOffsetY();
    if (path) {
        imagePath = path;
        imageSource = QV_IMAGE_FROM_FILE;
    }
}

void CQvButton::Paint(HDC dc) {
    if (IsInWindow()) DrawAt(dc, x - originX, y - originY);
}

void CQvButton::DrawAt(HDC dc, int px, int py) {
    if (!visible || !dc) return;
    if (stateImages > 1 && state >= stateImages) state = stateImages - 1;
    auto draw = [&](HDC target) {
        DrawStateImage(target, px, py, width, height, splitV);
        if (!caption.empty())
            CQvImage::Instance().DrawString(target, font, caption.c_str(), px + textOffsetX,
                                            py + textOffsetY, width - textOffsetX, height,
                                            textColor, 254, true, true, 0);
    };
    // Image files and skins can change under a running program; the
    // program's own images cannot.
    const int skinType = CQvSkin::Instance().GetResType();
    if (imageSource == QV_IMAGE_FROM_FILE || skinType == 1 || skinType == 2) {
        draw(dc);
        return;
    }
    // The image fills the button; the caption's box may be shifted off it.
    RECT area{px + std::min(textOffsetX, 0), py + std::min(textOffsetY, 0), px + width,
              py + height + std::max(textOffsetY, 0)};
    wchar_t look[200];
    std::swprintf(look, 200, L"%d %d %d %d %d %d %d %p %lu %d %d %d %d %p|", state, stateImages,
                  imageSource, imageId, frames, splitH, splitV, static_cast<void*>(font),
                  static_cast<unsigned long>(textColor), textOffsetX, textOffsetY, width, height,
                  static_cast<void*>(CQvImage::Instance().GetInst()));
    paintCache_.Paint(dc, area, look + resType + L'|' + caption, draw);
}

bool CQvButton::OnMouse(int mx, int my, int event, void* target) {
    if (!enabled) return false;
    RECT r;
    GetRect(r);
    bool inside = mx >= r.left && mx <= r.right && my >= r.top && my <= r.bottom;
    if (!inside) {
        if (state != QV_BTN_NORMAL) {
            state = QV_BTN_NORMAL;
            Refresh(false);
        }
        return false;
    }
    switch (event) {
    case QV_MOUSE_LDOWN:
        pressed = true;
        state = QV_BTN_PRESSED;
        Refresh(false);
        if (onDown) onDown(target);
        break;
    case QV_MOUSE_LUP:
        if (pressed) {
            pressed = false;
            state = frames > 3 ? QV_BTN_CLICKED : QV_BTN_HOVER;
            Refresh(false);
            if (onClick) onClick(target);
        }
        break;
    case QV_MOUSE_MOVE:
        if (state != QV_BTN_HOVER) {
            state = QV_BTN_HOVER;
            Refresh(false);
        }
        break;
    default:
        break;
    }
    return true;
}
