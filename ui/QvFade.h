#pragma once
// How far a layered window has faded, kept on the window itself: whatever
// presents a frame to it (the dialog, or a control repainting itself)
// presents at that alpha, so a repaint during a fade does not flash the
// whole dialog at full opacity.
#include <windows.h>

namespace qv {

// 255 forgets it.
void SetWindowFade(HWND wnd, BYTE alpha);
// 255 for a window that was never faded.
BYTE WindowFade(HWND wnd);

}  // namespace qv
