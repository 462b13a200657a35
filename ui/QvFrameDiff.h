#pragma once
// Finding what changed between two frames, so that a layered window is sent
// only the pixels that differ from what it already shows, and addressing the
// rows of a DIB section whatever their order in memory.
#include <windows.h>

namespace qv {

// The pixels of the 32-bit DIB section selected into a DC, row y (from the
// top) starting at first + y * stride.
struct DibRows {
    DWORD* first = nullptr;
    LONG stride = 0;  // in pixels; negative when the rows lie bottom-up
    LONG width = 0, height = 0;
};
// False when dc holds no 32-bit DIB section. Wine reports every DIB section
// as bottom-up, so the order is found by writing a pixel and reading it back
// through dc (which must have no window origin).
bool DibRowsOf(HDC dc, DibRows* rows);

// The smallest rectangle (top-down client coordinates) holding every pixel
// in which the DIB sections selected into two DCs differ. When they cannot
// be compared (other sizes, before holds none) all of now has changed.
// False when they are equal or now holds no DIB section.
bool ChangedRect(HDC now, HDC before, RECT* changed);

}  // namespace qv
