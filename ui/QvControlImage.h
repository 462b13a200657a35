#pragma once
// Where a windowless control's state image comes from: an image file of its
// own, the skin's themes folder or package, or the program's resources as
// the fallback for anything those lack.
#include <windows.h>

struct QvImageChoice {
    int imageSource;  // 3: the file imagePath
    int stateImages;  // more than 1: one numbered resource per state
    int imageId;      // strip, or first numbered image
    int frames;       // slices side by side in the strip
    int state;        // slice index, and offset to imageId
    int splitH;       // horizontal edge kept when stretching
    const wchar_t* resType;
    const wchar_t* imagePath;
    const wchar_t* imageBase;  // name in a themes folder ("<base>_<state><ext>") or package
    const wchar_t* imageExt;
};

// Draws the chosen image stretched to w x h at (x, y). `resourceEdgeV` is
// the vertical edge used when no skin or file applies and the image comes
// straight from the resources; every other source stretches with none.
// False when nothing was drawn.
bool QvDrawControlImage(HDC dc, const QvImageChoice& c, int x, int y, int w, int h,
                        int resourceEdgeV);
