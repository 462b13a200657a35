// The lock, the timers and the registry watchers under concurrent load for
// a bounded time: every wait ends, and every wake-up arrives.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ReliabilityUtil.h"
#include "UninstallTestUtil.h"
#include "base/QvLock.h"
#include "base/QvReg.h"
#include "ui/QvThread.h"

using reliability::Figure;

namespace {

// Generous: a wake-up that has not come after this long is lost.
constexpr DWORD kWakeMs = 20000;

struct Stress {
    DWORD until = 0;
    std::atomic<long> ops{0}, lost{0}, overlaps{0};
    bool Going() const { return static_cast<LONG>(::GetTickCount() - until) < 0; }
};

bool WaitFor(const std::function<bool()>& done, DWORD ms) {
    DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start >= ms) return done();
        ::Sleep(1);
    }
    return true;
}

void LockWorker(Stress& s, CLock& lock, std::atomic<int>& writers, std::atomic<int>& readers,
                bool writer) {
    while (s.Going()) {
        if (writer) {
            lock.Lock();
            if (++writers != 1 || readers.load() != 0) ++s.overlaps;
            --writers;
            lock.Unlock();
        } else {
            lock.LockRead();
            ++readers;
            if (writers.load() != 0) ++s.overlaps;
            --readers;
            lock.UnlockRead();
        }
        ++s.ops;
    }
}

// A writer queued behind a reader must get in once the reader leaves.
void LockHandoff(Stress& s) {
    while (s.Going()) {
        CLock lock;
        lock.LockRead();
        std::atomic<bool> in{false};
        std::thread writer([&] {
            lock.Lock();
            in = true;
            lock.Unlock();
        });
        lock.UnlockRead();
        if (!WaitFor([&] { return in.load(); }, kWakeMs)) ++s.lost;
        writer.join();
        ++s.ops;
    }
}

void CountCall(void* n) { static_cast<std::atomic<int>*>(n)->fetch_add(1); }
void CALLBACK CountRegCall(void* n) { static_cast<std::atomic<int>*>(n)->fetch_add(1); }

// Services made, timers started, killed, restarted and the service ended.
void TimerChurn(Stress& s) {
    int round = 0;
    while (s.Going()) {
        // Declared first, so destroyed last: the service's timers call into
        // these until its destructor has ended them.
        std::vector<std::unique_ptr<std::atomic<int>>> calls;
        CQvThread threads;
        for (int id = 0; id < 8; ++id) {
            calls.push_back(std::make_unique<std::atomic<int>>(0));
            threads.StartTimer(id, CountCall, 1 + (id + round) % 5, calls.back().get());
        }
        for (int id = 0; id < 8; id += 2) threads.KillTimer(id);
        for (int id = 0; id < 8; id += 2)
            threads.StartTimer(id, CountCall, 2, calls[id].get());  // reuse a killed record
        for (auto& c : calls)
            if (!WaitFor([&] { return c->load() > 0; }, kWakeMs)) ++s.lost;
        ++round;
        ++s.ops;
    }
}

// Every change is followed by a call; watchers are stopped and started
// again in between.
void WatcherChurn(Stress& s, const std::wstring& key) {
    HKEY k = nullptr;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                      nullptr);
    std::atomic<int> calls{0};
    int value = 0;
    while (s.Going()) {
        calls = 0;
        StartMonitor(HKEY_CURRENT_USER, key.c_str(), 0, &CountRegCall, &calls);
        if (!WaitFor([&] { return calls.load() >= 1; }, kWakeMs)) ++s.lost;
        for (int i = 0; i < 20 && s.Going(); ++i) {
            int before = calls.load();
            ++value;
            ::RegSetValueExW(k, L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof(value));
            if (!WaitFor([&] { return calls.load() > before; }, kWakeMs)) ++s.lost;
            ++s.ops;
        }
        StopMonitor();
        if (!WaitFor([] { return CQvReg::Instance().GetMonitorCount() == 0; }, kWakeMs)) ++s.lost;
    }
    ::RegCloseKey(k);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

}  // namespace

// Exits 7 when a worker has not ended long after the time was up: a
// deadlock, or a wait that never ends.
QV_CHILD(r8_stress) {
    Stress s;
    DWORD seconds = reliability::Full() ? 60 : 3;
    s.until = ::GetTickCount() + seconds * 1000;
    CLock lock;
    std::atomic<int> writers{0}, readers{0};
    std::wstring key = L"SOFTWARE\\QvTest_stress_" + std::to_wstring(::GetCurrentProcessId());
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i)
        workers.emplace_back([&, i] { LockWorker(s, lock, writers, readers, i % 2 == 0); });
    workers.emplace_back([&] { LockHandoff(s); });
    workers.emplace_back([&] { TimerChurn(s); });
    workers.emplace_back([&] { WatcherChurn(s, key); });
    std::atomic<int> ended{0};
    std::thread joiner([&] {
        for (auto& w : workers) w.join();
        ended = 1;
    });
    bool finished = WaitFor([&] { return ended.load() == 1; }, seconds * 1000 + 120000);
    uitest::WriteResults(std::to_string(s.ops.load()) + " " + std::to_string(s.lost.load()) + " " +
                         std::to_string(s.overlaps.load()) + " " + std::to_string(finished));
    if (!finished) ::ExitProcess(7);
    joiner.join();
    return 0;
}

using uitest::EngineTest;

TEST_F(EngineTest, R8_LockTimersAndWatchersUnderStress) {
    ::DeleteFileW(results.c_str());
    int code = uitest::RunCopy(exe, "r8_stress", 600000);
    long ops = 0, lost = 0, overlaps = 0;
    int finished = 0;
    std::string got = uitest::ReadAll(results);
    ASSERT_EQ(4, std::sscanf(got.c_str(), "%ld %ld %ld %d", &ops, &lost, &overlaps, &finished))
        << "exit " << code << ": " << got;
    EXPECT_EQ(0, code);
    EXPECT_EQ(1, finished) << "a worker never ended: deadlock";
    EXPECT_EQ(0, lost) << "wake-ups lost";
    EXPECT_EQ(0, overlaps) << "the lock let a writer in beside another holder";
    EXPECT_GT(ops, 0);
    Figure("R8 lock, timers, watchers", ops, code != 0 && code != 7, 0,
           "deadlocks " + std::to_string(finished ? 0 : 1) + ", lost wake-ups " +
               std::to_string(lost) + ", overlaps " + std::to_string(overlaps));
}
