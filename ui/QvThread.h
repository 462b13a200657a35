#pragma once
// The toolkit's thread service: worker threads started through the C
// runtime, bounded waits, and periodic timers that each run on a thread of
// their own.
#include <windows.h>

#include <deque>
#include <vector>

#include "base/QvExport.h"

class CQvThread;

using QvThreadProc = unsigned (*)(void*);
using QvTimerProc = void (*)(void*);

// One record per timer identifier.
struct tagQvTimer {
    int id;
    QvTimerProc callback;
    int interval;  // milliseconds slept before each call
    CQvThread* owner;
    void* parameter;
    HANDLE thread;  // null once the timer's thread has ended
    int killed;
};

class QV_API CQvThread {
public:
    // The process-wide service; the application object stops it at exit.
    static CQvThread& Instance();

    CQvThread();
    // Stops every timer first: a timer thread must not outlive its record.
    ~CQvThread();
    // Records are shared with running threads and guarded by a lock of this
    // object; a memberwise copy would hand the same threads to two owners.
    CQvThread(const CQvThread&) = delete;
    CQvThread& operator=(const CQvThread&) = delete;

    // Starts proc(param) on a new thread. With closeHandle non-zero the
    // handle is closed at once and null is returned; otherwise the caller
    // owns the handle. Null when the thread could not be started.
    HANDLE StartThread(QvThreadProc proc, void* param, int closeHandle);
    // Waits up to ms for the thread, terminates it if it is still running,
    // and closes the handle in every case.
    void ExitThread(HANDLE thread, int ms);

    // Calls callback(param) every `interval` ms on the timer's own thread.
    // A running identifier is left as it is.
    void StartTimer(int id, QvTimerProc callback, int interval, void* param);
    // The timer ends after its current sleep (and one more call).
    void KillTimer(int id);
    // Ends every timer, now and for good.
    void Stop();

private:
    // The record and the run it is serving: a thread whose record was
    // reused for a new run sees the new generation and ends.
    struct Slot {
        tagQvTimer timer;
        int generation;
    };
    struct Run;

    tagQvTimer* AddTimer(tagQvTimer& timer);
    static unsigned __stdcall TimerThread(void* run);
    void CloseEndedRetired();

    int stopping_ = 0;
    // A deque keeps every record at its address however many are added.
    std::deque<Slot> timers_;
    // Threads of reused records that may still be in their last period;
    // Stop ends them too, so none outlives its record.
    std::vector<HANDLE> retired_;
    CRITICAL_SECTION lock_;
};

// Waits up to `ms` (INFINITE allowed) for `handle`, or only for the time
// with a null handle, while serving the messages other threads send to this
// one: the awaited thread may be moving, hiding or disabling a window of
// this thread, and would wait for us as we wait for it. Posted messages
// stay queued. Returns WAIT_OBJECT_0 when the handle was signalled.
DWORD QvWaitServingSends(HANDLE handle, DWORD ms);
