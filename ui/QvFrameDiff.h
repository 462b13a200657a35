#pragma once
// Finding what changed between two frames, so that a layered window is sent
// only the pixels that differ from what it already shows.
#include <windows.h>

namespace qv {

// The smallest rectangle (top-down client coordinates) holding every pixel
// in which two 32-bit DIB sections of the same size differ. When they cannot
// be compared (other sizes, before no DIB section) all of now has changed.
// False when they are equal or now is no DIB section.
bool ChangedRect(HBITMAP now, HBITMAP before, RECT* changed);

}  // namespace qv
