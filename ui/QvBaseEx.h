#pragma once
// The base of windowless controls whose look is one state image.
#include <string>

#include "ui/QvBase.h"

// Base of image controls (the check box, the image button): the state image
// comes from a strip or from numbered images, from a file, the skin or the
// program's resources.
class CQvBaseEx : public CQvBase {
public:
    CQvBaseEx();
    ~CQvBaseEx() override;

    void Paint(HDC dc) override = 0;
    // Draws the current state image at (x, y) in width x height; false when
    // nothing was drawn. `resourceEdgeV` is the vertical edge kept when the
    // image comes straight from the program's resources (a button keeps
    // one; every other source stretches with none).
    bool DrawStateImage(HDC dc, int x, int y, int width, int height, int resourceEdgeV = 0);
    // Image controls take the keyboard focus while they can be used.
    bool CanFocus() const override;

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
