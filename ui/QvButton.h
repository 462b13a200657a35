#pragma once
// The image button: one state slice of a PNG strip (or one of a set of
// numbered images) chosen by the mouse, an optional caption, and press and
// click callbacks.
#include <string>

#include "ui/QvBase.h"
#include "ui/QvPaintCache.h"

// States a button shows; also the slice index and the offset to the first
// numbered image.
enum QvButtonState {
    QV_BTN_NORMAL = 0,
    QV_BTN_HOVER = 1,
    QV_BTN_PRESSED = 2,
    QV_BTN_CLICKED = 3,  // only with a strip of more than three frames
};

class CQvButton : public CQvBase {
public:
    CQvButton();
    // The default skin's 69 × 21 button (images 60001 on, one a state) at
    // (x, 148).
    CQvButton(const wchar_t* caption, int x);
    ~CQvButton() override;

    void Init(const wchar_t* caption, int x, int y, int width, int height, int splitH,
              int frames, HWND ownerWnd, const wchar_t* imagePath);

    void DrawAt(HDC dc, int x, int y) override;
    void Paint(HDC dc) override;
    bool OnMouse(int x, int y, int event, void* target) override;
    bool CanFocus() const override;
    std::wstring AccessibleName() const override;
    long AccessibleRole() const override;
    long AccessibleState() const override;
    std::wstring DefaultAction() const override;

    bool pressed = false;
    int imageId = 60001;
    int frames = 1;
    int state = QV_BTN_NORMAL;
    bool enabled = true;
    int splitH = 2;
    int splitV = 2;  // used only for images from the program's resources
    int textOffsetX = 0;
    int textOffsetY = 0;
    std::wstring caption;
    std::wstring resType = L"IMG";
    std::wstring imagePath;  // used when imageSource is 3
    std::wstring imageBase = L"button";
    std::wstring imageExt = L".png";
    QvCallback onDown = nullptr;
    QvCallback onClick = nullptr;

private:
    void DrawImage(HDC dc, int px, int py);
    qv::PaintCache paintCache_;
};
