#include "ui/QvThread.h"

#include <process.h>

#include <atomic>
#include <utility>

#include "base/QvStackReserve.h"

namespace {

// The runtime's thread start expects a __stdcall procedure; callers hand us
// plain functions, so each thread starts through this trampoline.
struct StartRecord {
    QvThreadProc proc;
    void* param;
};

unsigned __stdcall StartTrampoline(void* p) {
    KeepStackForCrashHandler();
    StartRecord start = *static_cast<StartRecord*>(p);
    delete static_cast<StartRecord*>(p);
    return start.proc(start.param);
}

int Load(const int& flag) {
    return std::atomic_ref<int>(const_cast<int&>(flag)).load();
}
void StoreOne(int& flag, int value) {
    std::atomic_ref<int>(flag).store(value);
}

using Locked = qv::ScopedCriticalSection;

void WaitOrTerminate(HANDLE thread, DWORD ms) {
    if (::WaitForSingleObject(thread, ms) == WAIT_TIMEOUT) ::TerminateThread(thread, 0);
    ::CloseHandle(thread);
}

}  // namespace

// What one timer thread serves: a copy of the record's values taken when it
// started, so a reuse of the record never changes a running period.
struct CQvThread::Run {
    CQvThread* owner;
    Slot* slot;
    int generation;
    QvTimerProc callback;
    int interval;
    void* parameter;
};

CQvThread& CQvThread::Instance() {
    static CQvThread threads;
    return threads;
}

CQvThread::CQvThread() = default;

CQvThread::~CQvThread() {
    Stop();
}

HANDLE CQvThread::StartThread(QvThreadProc proc, void* param, int closeHandle) {
    if (!proc) return nullptr;
    auto* start = new StartRecord{proc, param};
    uintptr_t h = ::_beginthreadex(nullptr, 0, StartTrampoline, start, 0, nullptr);
    if (!h) {
        delete start;
        return nullptr;
    }
    HANDLE thread = reinterpret_cast<HANDLE>(h);
    if (closeHandle) {
        ::CloseHandle(thread);
        return nullptr;
    }
    return thread;
}

void CQvThread::ExitThread(HANDLE thread, int ms) {
    if (!thread) return;
    WaitOrTerminate(thread, static_cast<DWORD>(ms < 0 ? 0 : ms));
}

tagQvTimer* CQvThread::AddTimer(tagQvTimer& timer) {
    for (Slot& slot : timers_) {
        if (slot.timer.id != timer.id) continue;
        if (!Load(slot.timer.killed)) return nullptr;  // running: left alone
        // The old thread may still be in its last sleep. It keeps its own
        // copy of the old values and ends when it sees the new generation;
        // Stop still waits for it.
        if (slot.timer.thread) retired_.push_back(std::exchange(slot.timer.thread, nullptr));
        slot.timer.callback = timer.callback;
        slot.timer.interval = timer.interval;
        slot.timer.owner = timer.owner;
        slot.timer.parameter = timer.parameter;
        StoreOne(slot.generation, slot.generation + 1);
        StoreOne(slot.timer.killed, 0);
        return &slot.timer;
    }
    timers_.push_back(Slot{timer, 0});
    return &timers_.back().timer;
}

void CQvThread::CloseEndedRetired() {
    for (auto it = retired_.begin(); it != retired_.end();) {
        if (::WaitForSingleObject(*it, 0) == WAIT_OBJECT_0) {
            ::CloseHandle(*it);
            it = retired_.erase(it);
        } else {
            ++it;
        }
    }
}

void CQvThread::StartTimer(int id, QvTimerProc callback, int interval, void* param) {
    if (!callback) return;
    tagQvTimer timer{id, callback, interval, this, param, nullptr, 0};
    Locked guard(lock_);
    CloseEndedRetired();
    tagQvTimer* record = AddTimer(timer);
    if (!record) return;
    Slot* slot = reinterpret_cast<Slot*>(record);  // the record is the slot's first member
    auto* run = new Run{this, slot, slot->generation, callback, interval, param};
    uintptr_t h = ::_beginthreadex(nullptr, 0, TimerThread, run, 0, nullptr);
    if (!h) {
        delete run;
        // Leave the record restartable rather than "running" without a thread.
        StoreOne(record->killed, 1);
        return;
    }
    // The thread cannot finish with the record before this store: it takes
    // the same lock on its way out.
    record->thread = reinterpret_cast<HANDLE>(h);
}

void CQvThread::KillTimer(int id) {
    Locked guard(lock_);
    for (Slot& slot : timers_) {
        if (slot.timer.id == id) {
            StoreOne(slot.timer.killed, 1);
            return;
        }
    }
}

void CQvThread::Stop() {
    StoreOne(stopping_, 1);
    std::vector<HANDLE> threads;
    {
        Locked guard(lock_);
        // Whoever takes a handle out of a record closes it; the thread itself
        // only closes a handle it finds still in its record.
        for (Slot& slot : timers_) {
            if (slot.timer.thread) threads.push_back(std::exchange(slot.timer.thread, nullptr));
        }
        threads.insert(threads.end(), retired_.begin(), retired_.end());
        retired_.clear();
    }
    for (HANDLE thread : threads) WaitOrTerminate(thread, 100);
}

unsigned __stdcall CQvThread::TimerThread(void* p) {
    Run run = *static_cast<Run*>(p);
    delete static_cast<Run*>(p);
    Slot& slot = *run.slot;
    CQvThread& owner = *run.owner;
    // The flags are read before each sleep only: after KillTimer or Stop the
    // callback may run once more, at most one period late.
    while (!Load(owner.stopping_) && !Load(slot.timer.killed) &&
           Load(slot.generation) == run.generation) {
        ::Sleep(static_cast<DWORD>(run.interval < 0 ? 0 : run.interval));
        run.callback(run.parameter);
    }
    HANDLE own = nullptr;
    {
        Locked guard(owner.lock_);
        if (slot.generation == run.generation) own = std::exchange(slot.timer.thread, nullptr);
    }
    if (own) ::CloseHandle(own);
    return 0;
}

DWORD QvWaitServingSends(HANDLE handle, DWORD ms) {
    const DWORD start = ::GetTickCount();
    const DWORD count = handle ? 1 : 0;
    for (;;) {
        DWORD left = INFINITE;
        if (ms != INFINITE) {
            const DWORD spent = ::GetTickCount() - start;
            left = spent >= ms ? 0 : ms - spent;
        }
        DWORD r = ::MsgWaitForMultipleObjects(count, &handle, FALSE, left, QS_SENDMESSAGE);
        if (r != WAIT_OBJECT_0 + count) return r;
        MSG msg;  // a peek restricted to sent messages runs them and removes nothing
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
