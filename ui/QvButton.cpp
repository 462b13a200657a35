#include "ui/QvButton.h"

#include <shlwapi.h>

#include <cwchar>

#include "ui/QvFont.h"
#include "ui/QvImage.h"
#include "ui/QvSkin.h"

namespace {

// Microsoft YaHei sits higher in its cell than SimSun; other faces need
// the caption moved down a little to look centred.
int DefaultTextOffsetY() {
    return CQvFont::Instance().isSupportYaHei() ? 0 : 2;
}

}  // namespace

CQvButton::CQvButton() : textOffsetY(DefaultTextOffsetY()) {}

CQvButton::CQvButton(const wchar_t* text, int left) {
    pressed = false;
    Init(text, left, 148, 68, 29, 8, 3, nullptr, nullptr);
}

CQvButton::~CQvButton() = default;

void CQvButton::Init(const wchar_t* text, int left, int top, int w, int h, int edgeH,
                     int frameCount, HWND owner, const wchar_t* path) {
    imageId = 60001;
    resType = L"IMG";
    state = QV_BTN_NORMAL;
    enabled = true;
    caption = text ? text : L"";
    x = left;
    y = top;
    width = w;
    height = h;
    splitH = edgeH;
    splitV = 2;
    frames = frameCount;
    imageBase = L"button";
    imageExt = L".png";
    ownerWnd = owner;
    onDown = nullptr;
    onClick = nullptr;
    textOffsetX = 0;
    textOffsetY = DefaultTextOffsetY();
    if (path) {
        imagePath = path;
        imageSource = 3;
    }
}

void CQvButton::Paint(HDC dc) {
    if (IsInWindow()) DrawAt(dc, x - originX, y - originY);
}

bool CQvButton::DrawFromResource(HDC dc, int px, int py, int edgeV) {
    int id = stateImages > 1 ? imageId + state : imageId;
    return CQvImage::Instance().DrawStretchImg(dc, id, resType.c_str(), px, py, width, height,
                                               splitH, frames, state, edgeV);
}

void CQvButton::DrawImage(HDC dc, int px, int py) {
    CQvImage& image = CQvImage::Instance();
    if (imageSource == 3) {
        if (::PathFileExistsW(imagePath.c_str()))
            image.DrawStretchImg(dc, imagePath.c_str(), px, py, width, height, splitH, frames,
                                 state, 0);
        else
            DrawFromResource(dc, px, py, 0);
        return;
    }
    CQvSkin& skin = CQvSkin::Instance();
    switch (skin.GetResType()) {
    case 1: {
        wchar_t folder[MAX_PATH] = {};
        skin.GetThemesPath(folder);
        wchar_t file[MAX_PATH] = {};
        std::swprintf(file, MAX_PATH, L"%ls%ls_%d%ls", folder, imageBase.c_str(), state,
                      imageExt.c_str());
        if (::PathFileExistsW(file))
            image.DrawStretchImg(dc, file, px, py, width, height, splitH, frames, state, 0);
        else
            DrawFromResource(dc, px, py, 0);
        return;
    }
    case 2: {
        IStream* stream = nullptr;
        if (skin.GetRes(imageBase.c_str(), stream))
            image.DrawStretchImg(dc, stream, px, py, width, height, splitH, frames, state, 0);
        else
            DrawFromResource(dc, px, py, 0);
        return;
    }
    default:
        DrawFromResource(dc, px, py, splitV);
    }
}

void CQvButton::DrawAt(HDC dc, int px, int py) {
    if (!visible || !dc) return;
    if (stateImages > 1 && state >= stateImages) state = stateImages - 1;
    DrawImage(dc, px, py);
    if (!caption.empty())
        CQvImage::Instance().DrawString(dc, font, caption.c_str(), px + textOffsetX,
                                        py + textOffsetY, width - textOffsetX, height,
                                        textColor, 254, true, true, 0);
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
