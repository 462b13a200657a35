#pragma once
// The check box: a 15 x 15 box with a caption to its right that toggles on
// a click.
#include <string>

#include "ui/QvBaseEx.h"

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
    std::wstring AccessibleName() const override;
    long AccessibleRole() const override;
    long AccessibleState() const override;
    std::wstring DefaultAction() const override;

    bool pressed = false;
    std::wstring caption;
    bool ticked = false;
    int textOffsetY = 0;
};
