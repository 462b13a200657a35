#pragma once
// The image button: one state slice of a PNG strip (or one of a set of
// numbered images) chosen by the mouse, an optional caption, and press and
// click callbacks.
#include <string>

#include "ui/QvBaseEx.h"
#include "ui/QvPaintCache.h"

// States a button shows; also the slice index and the offset to the first
// numbered image.
enum QvButtonState {
    QV_BTN_NORMAL = 0,
    QV_BTN_HOVER = 1,
    QV_BTN_PRESSED = 2,
    QV_BTN_CLICKED = 3,  // only with a strip of more than three frames
};

class CQvButton : public CQvBaseEx {
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
    std::wstring AccessibleName() const override;
    long AccessibleRole() const override;
    long AccessibleState() const override;
    std::wstring DefaultAction() const override;

    // The image fields (imageId, frames, state, splitH, ...) are
    // CQvBaseEx's; a button starts with the default skin's 60001 ("button").
    bool pressed = false;
    int splitV = 2;  // used only for images from the program's resources
    int textOffsetX = 0;
    int textOffsetY = 0;
    std::wstring caption;

private:
    qv::PaintCache paintCache_;
};
