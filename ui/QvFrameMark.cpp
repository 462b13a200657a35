// The first frame on screen: what work that can wait waits for
// (qv::AwaitFirstFrame), and what a benchmark that starts the program
// measures (it names an event in QV_FIRST_FRAME_EVENT, signalled then).
#include "ui/QvFirstFrame.h"

#include <windows.h>

#include <atomic>

#include "base/QvScoped.h"
#include "ui/QvDC.h"

namespace {

std::atomic<bool> g_marked{false};
std::atomic<HWND> g_sentHidden{nullptr};

// Set once the first frame is on screen. It lives as long as the process,
// never closed: a thread may wait on it while the runtime's exit runs.
HANDLE OnScreenEvent() {
    static const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

}  // namespace

namespace qv {

void AwaitFirstFrame(DWORD ms) {
    // Nothing is waited for in a process that has sent no frame: it may
    // never show one.
    if (g_marked || !g_sentHidden) return;
    if (HANDLE event = OnScreenEvent()) ::WaitForSingleObject(event, ms);
}

}  // namespace qv

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
    if (HANDLE event = OnScreenEvent()) ::SetEvent(event);
    wchar_t name[64];
    DWORD n = ::GetEnvironmentVariableW(L"QV_FIRST_FRAME_EVENT", name, 64);
    if (n == 0 || n >= 64) return;
    qv::ScopedHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name));
    if (event) ::SetEvent(event.get());
}
