// Start-up measurement: a benchmark that starts the program names an event
// in QV_FIRST_FRAME_EVENT, signalled once the first frame is on screen.
#include <windows.h>

#include <atomic>

#include "base/QvScoped.h"
#include "ui/QvDC.h"

namespace {

std::atomic<bool> g_marked{false};
std::atomic<HWND> g_sentHidden{nullptr};

}  // namespace

void CQvDC::NoteFrameSent(HWND wnd) {
    if (g_marked) return;
    // A frame sent to a window not yet shown appears when it is shown.
    if (::IsWindowVisible(wnd))
        MarkFirstFrame();
    else
        g_sentHidden = wnd;
}

void CQvDC::NoteWindowShown(HWND wnd) {
    if (!g_marked && wnd && g_sentHidden == wnd) MarkFirstFrame();
}

void CQvDC::MarkFirstFrame() {
    if (g_marked.exchange(true)) return;
    wchar_t name[64];
    DWORD n = ::GetEnvironmentVariableW(L"QV_FIRST_FRAME_EVENT", name, 64);
    if (n == 0 || n >= 64) return;
    qv::ScopedHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name));
    if (event) ::SetEvent(event.get());
}
