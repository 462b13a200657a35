// Worker threads and timers.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "support/TestUtil.h"
#include "ui/QvThread.h"

namespace {

struct Probe {
    std::atomic<int> calls{0};
    std::mutex lock;
    std::set<DWORD> threads;
    std::vector<DWORD> times;
};

void Count(void* p) {
    auto* probe = static_cast<Probe*>(p);
    {
        std::lock_guard<std::mutex> guard(probe->lock);
        probe->threads.insert(::GetCurrentThreadId());
        probe->times.push_back(::GetTickCount());
    }
    ++probe->calls;
}

unsigned SetEvent(void* event) {
    ::SetEvent(static_cast<HANDLE>(event));
    return 7;
}

unsigned SleepLong(void*) {
    ::Sleep(30000);
    return 9;
}

bool WaitCalls(Probe& probe, int atLeast, DWORD ms) {
    return qvtest::PumpUntil([&] { return probe.calls >= atLeast; }, ms);
}

// Waits until every thread that has called the probe has ended: from then
// on its count is final, so "no more calls" is a fact, not a guess made
// after a pause.
bool WaitThreadsEnded(Probe& probe, DWORD ms) {
    std::set<DWORD> ids;
    {
        std::lock_guard<std::mutex> guard(probe.lock);
        ids = probe.threads;
    }
    for (DWORD id : ids) {
        HANDLE thread = ::OpenThread(SYNCHRONIZE, FALSE, id);
        if (!thread) continue;  // already gone
        DWORD waited = ::WaitForSingleObject(thread, ms);
        ::CloseHandle(thread);
        if (waited != WAIT_OBJECT_0) return false;
    }
    return true;
}

}  // namespace

TEST(Thread, DetachedThreadRunsAndReturnsNoHandle) {
    CQvThread threads;
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(nullptr, threads.StartThread(SetEvent, event, 1));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(event, 5000));
    ::CloseHandle(event);
    EXPECT_EQ(nullptr, threads.StartThread(nullptr, nullptr, 0));
}

TEST(Thread, KeptHandleAndBoundedExit) {
    CQvThread threads;
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE worker = threads.StartThread(SetEvent, event, 0);
    ASSERT_NE(nullptr, worker);
    HANDLE watch = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), worker, ::GetCurrentProcess(), &watch, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    threads.ExitThread(worker, 5000);
    DWORD code = 0;
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(watch, 0));
    ::GetExitCodeThread(watch, &code);
    EXPECT_EQ(7u, code) << "a thread that ends within the wait is not terminated";
    ::CloseHandle(watch);
    ::CloseHandle(event);

    HANDLE stuck = threads.StartThread(SleepLong, nullptr, 0);
    ::DuplicateHandle(::GetCurrentProcess(), stuck, ::GetCurrentProcess(), &watch, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    DWORD start = ::GetTickCount();
    threads.ExitThread(stuck, 100);
    EXPECT_LT(::GetTickCount() - start, 3000u);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(watch, 3000));
    ::GetExitCodeThread(watch, &code);
    EXPECT_EQ(0u, code);
    ::CloseHandle(watch);
}

TEST(Thread, RunningTimerIsNotRestartedAndKilledOneIsReused) {
    CQvThread threads;
    Probe first, second;
    threads.StartTimer(1, Count, 20, &first);
    threads.StartTimer(1, Count, 20, &second);  // ignored: 1 is running
    ASSERT_TRUE(WaitCalls(first, 3, 5000));
    EXPECT_EQ(0, second.calls.load());
    threads.KillTimer(42);  // unknown: nothing happens
    threads.KillTimer(1);
    ASSERT_TRUE(WaitThreadsEnded(first, 30000)) << "a killed timer stops";
    int settled = first.calls;

    threads.StartTimer(1, Count, 20, &second);
    ASSERT_TRUE(WaitCalls(second, 3, 5000));
    EXPECT_EQ(settled, first.calls.load());
    threads.Stop();
}

TEST(Thread, KilledTimerCallsOnceMoreAfterItsSleep) {
    CQvThread threads;
    Probe probe;
    threads.StartTimer(3, Count, 600, &probe);
    ASSERT_TRUE(WaitCalls(probe, 1, 10000));
    threads.KillTimer(3);
    // The kill lands in the second sleep (or, on a slow machine, later):
    // one more call after it, then the thread ends.
    ASSERT_TRUE(WaitThreadsEnded(probe, 30000));
    std::lock_guard<std::mutex> guard(probe.lock);
    ASSERT_GE(probe.calls.load(), 2);
    int sinceKill = probe.calls.load() - 1;
    EXPECT_LE(sinceKill, 2) << "at most the call in progress and the one after the sleep";
    // Each call follows a whole sleep: a lower bound, true however slow.
    EXPECT_GE(probe.times[1] - probe.times[0], 550u);
}

TEST(Thread, ReusingARecordInItsLastSleepLeavesOneThreadServingIt) {
    CQvThread threads;
    Probe old, fresh;
    threads.StartTimer(5, Count, 400, &old);
    ASSERT_TRUE(WaitCalls(old, 1, 5000));
    threads.KillTimer(5);
    threads.StartTimer(5, Count, 30, &fresh);  // the old thread is still asleep
    ASSERT_TRUE(WaitCalls(fresh, 5, 30000));
    ASSERT_TRUE(WaitThreadsEnded(old, 30000)) << "the old run ends after its last period";
    EXPECT_LE(old.calls.load(), 2);
    {
        std::lock_guard<std::mutex> guard(fresh.lock);
        EXPECT_EQ(1u, fresh.threads.size()) << "one thread serves the record";
    }
    // The last sleep's call belongs to the old run, not to the new callback.
    std::lock_guard<std::mutex> guard(old.lock);
    EXPECT_EQ(1u, old.threads.size());
}

TEST(Thread, ManyTimersRunAndStopEndsThemAll) {
    CQvThread threads;
    const int kTimers = 25;
    std::vector<std::unique_ptr<Probe>> probes;
    for (int i = 0; i < kTimers; ++i) {
        probes.push_back(std::make_unique<Probe>());
        threads.StartTimer(100 + i, Count, 15, probes.back().get());
    }
    for (auto& p : probes) ASSERT_TRUE(WaitCalls(*p, 2, 30000));
    threads.Stop();
    // Stop returns once every timer thread has ended.
    for (auto& p : probes) EXPECT_TRUE(WaitThreadsEnded(*p, 0));

    Probe late;
    threads.StartTimer(999, Count, 10, &late);  // after Stop: never called
    // A 10 ms timer would have been called twenty times in 200 ms (scaled).
    EXPECT_FALSE(qvtest::PumpUntil([&] { return late.calls.load() > 0; }, 200));
}

TEST(Thread, DestroyingTheServiceEndsItsTimers) {
    Probe probe;
    {
        CQvThread threads;
        threads.StartTimer(1, Count, 10, &probe);
        ASSERT_TRUE(WaitCalls(probe, 1, 10000));
    }
    EXPECT_TRUE(WaitThreadsEnded(probe, 0)) << "the destructor waits for its timers";
}
