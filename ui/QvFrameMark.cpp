// Start-up measurement: a benchmark that starts the program names an event
// in QV_FIRST_FRAME_EVENT, signalled once the first frame is on screen.
#include <windows.h>

#include <atomic>

#include "ui/QvDC.h"

void CQvDC::MarkFirstFrame() {
    static std::atomic<bool> marked{false};
    if (marked.exchange(true)) return;
    wchar_t name[64];
    DWORD n = ::GetEnvironmentVariableW(L"QV_FIRST_FRAME_EVENT", name, 64);
    if (n == 0 || n >= 64) return;
    HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
    if (!event) return;
    ::SetEvent(event);
    ::CloseHandle(event);
}
