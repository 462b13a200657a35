#pragma once
// Image controls whose look is one state image, and the check box built on
// them: a 15 x 15 box with a caption to its right that toggles on a click.
#include <string>

#include "ui/QvBase.h"

// Base of image controls: the state image comes from a strip or from
// numbered images, with the same skin and file choice as the image button,
// and is always stretched without a vertical edge.
class CQvBaseEx : public CQvBase {
public:
    CQvBaseEx();
    ~CQvBaseEx() override;

    void Paint(HDC dc) override = 0;
    // Draws the current state image at (x, y) in width x height; false when
    // nothing was drawn.
    bool DrawStateImage(HDC dc, int x, int y, int width, int height);

    int imageId = 0;  // each derived control sets its own
    int frames = 1;
    int state = 0;
    bool enabled = true;
    int splitH = 2;
    std::wstring resType = L"IMG";
    std::wstring imagePath;  // used when imageSource is 3
    std::wstring imageBase;
    std::wstring imageExt = L".png";
    QvCallback onDown = nullptr;
    QvCallback onClick = nullptr;
};

// Frames of the check box's images, chosen by `state`.
enum QvCheckState {
    QV_CHECK_OFF = 0,
    QV_CHECK_OFF_HOVER = 1,
    QV_CHECK_ON_HOVER = 2,
    QV_CHECK_ON = 3,
};

class CQvCheckBox : public CQvBaseEx {
public:
    CQvCheckBox();
    ~CQvCheckBox() override;

    void Init(const wchar_t* caption, int x, int y, int width, int height, bool ticked,
              int splitH, int frames, HWND ownerWnd, const wchar_t* imagePath);

    void DrawAt(HDC dc, int x, int y) override;
    void Paint(HDC dc) override;
    bool OnMouse(int x, int y, int event, void* target) override;
    bool CanFocus() const override;
    std::wstring AccessibleName() const override;
    long AccessibleRole() const override;
    long AccessibleState() const override;
    std::wstring DefaultAction() const override;

    bool pressed = false;
    std::wstring caption;
    bool ticked = false;
    int textOffsetY = 0;
};
