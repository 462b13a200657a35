#pragma once
// Seam for test rigs: the clock the logger reads (GetLocalTime unless set).
// Tests replace it to write lines on chosen dates, each into a daily file of
// its own. The product never calls it. Not exported, not installed.
#include <windows.h>

namespace qv::seam {

using LocalTimeFn = void(WINAPI*)(SYSTEMTIME*);
// Null restores the system clock.
void SetLogClock(LocalTimeFn clock);

}  // namespace qv::seam
