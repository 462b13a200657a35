#pragma once
// Work that the first frame does not need can wait until that frame is on
// screen, rather than compete with the start for the processor and the
// Wine server.
#include <windows.h>

namespace qv {

// Returns once the process's first frame is on screen, or after ms. Returns
// at once when the frame is already shown, and when no frame has been sent
// to a window yet (a process without a window never shows one).
void AwaitFirstFrame(DWORD ms);

}  // namespace qv
