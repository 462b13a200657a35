// Reader/writer lock and registry helpers against the Wine prefix's real
// registry (a win64 prefix: a 32-bit build sees two views of HKLM\SOFTWARE).
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <sddl.h>

#include "base/QvLock.h"
#include "base/QvReg.h"
#include "base/QvScoped.h"
#include "base/QvUtil.h"
#include "support/TestUtil.h"

namespace {

// Runs fn on a thread and reports whether it finished within ms.
bool FinishesWithin(DWORD ms, std::function<void()> fn) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([fn, done] {
        fn();
        done->store(true);
    }).detach();
    DWORD start = ::GetTickCount();
    while (!done->load() && ::GetTickCount() - start < ms) ::Sleep(5);
    return done->load();
}

std::wstring TestKey(const wchar_t* tag) {
    return L"SOFTWARE\\QvTest_" + std::wstring(tag) + L"_" + std::to_wstring(::GetCurrentProcessId());
}

// Creates (or opens) a key in a chosen view and sets a string value in it.
void PutValue(HKEY root, const std::wstring& key, REGSAM view, const wchar_t* name,
              const std::wstring& value) {
    HKEY k = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0,
                                               KEY_ALL_ACCESS | view, nullptr, &k, nullptr));
    ::RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(k);
}

void DropKey(HKEY root, const std::wstring& key, REGSAM view) {
    HKEY k = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_ALL_ACCESS | view, &k) == ERROR_SUCCESS) {
        ::RegDeleteTreeW(k, nullptr);
        ::RegCloseKey(k);
    }
    ::RegDeleteKeyExW(root, key.c_str(), view, 0);
}

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view) {
    HKEY k = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &k) != ERROR_SUCCESS) return false;
    ::RegCloseKey(k);
    return true;
}

}  // namespace

TEST(Lock, WritersExcludeEveryoneAndReadersShare) {
    CLock lock;
    int counter = 0;              // changed only under the exclusive hold
    std::atomic<int> writersIn{0};
    std::atomic<int> readersIn{0}, maxReaders{0};
    std::atomic<bool> overlap{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                lock.Lock();
                if (++writersIn != 1 || readersIn.load() != 0) overlap = true;
                int seen = counter;
                if (i % 50 == 0) ::Sleep(0);
                counter = seen + 1;
                --writersIn;
                lock.Unlock();
            }
        });
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                lock.LockRead();
                int now = ++readersIn;
                if (writersIn.load() != 0) overlap = true;
                int prev = maxReaders.load();
                while (now > prev && !maxReaders.compare_exchange_weak(prev, now)) {}
                if (i % 20 == 0) ::Sleep(1);
                --readersIn;
                lock.UnlockRead();
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_FALSE(overlap.load());
    EXPECT_EQ(4 * 300, counter);
    EXPECT_FALSE(lock.IsLockRead());
    EXPECT_FALSE(lock.IsLockWrite());
    EXPECT_TRUE(FinishesWithin(30000, [&] { lock.Lock(); lock.Unlock(); }));
}

TEST(Lock, LastReaderOutMayBeAnotherThreadAndFreesTheSection) {
    CLock lock;
    lock.LockRead();  // this thread enters the section
    EXPECT_TRUE(lock.IsLockRead());
    EXPECT_FALSE(lock.IsLockWrite());
    std::thread([&] { lock.LockRead(); }).join();  // joins without entering
    // A writer waits while readers hold the lock...
    std::atomic<bool> trying{false}, written{false};
    std::thread writer([&] {
        trying = true;
        lock.Lock();
        written = true;
        EXPECT_TRUE(lock.IsLockWrite());
        lock.Unlock();
    });
    ASSERT_TRUE(qvtest::PumpUntil([&] { return trying.load(); }, 30000));
    lock.UnlockRead();  // the thread that entered leaves; the other reader stays
    // The writer is at its Lock call, where a free lock would let it in
    // within microseconds: half a second (scaled) without it shows the
    // reader left keeps it out.
    EXPECT_FALSE(qvtest::PumpUntil([&] { return written.load(); }, 500));
    // ...and gets in once the last reader, on another thread, leaves.
    std::thread([&] { lock.UnlockRead(); }).join();
    ASSERT_TRUE(qvtest::PumpUntil([&] { return written.load(); }, 30000));
    writer.join();
    EXPECT_FALSE(lock.IsLockRead());
    EXPECT_FALSE(lock.IsLockWrite());
}

// Two readers hand the lock to each other so that it is never free of
// readers: each lets go only once the other has taken a hold after its own.
// A writer that arrives meanwhile must still get in, because readers that
// come after it wait behind it; the reader left holding then lets go once
// no new hold has come for a while.
TEST(Lock, AWaitingWriterIsNotStarvedByOverlappingReaders) {
    CLock lock;
    std::atomic<bool> written{false}, done{false};
    std::atomic<long> holds{0};
    auto hold = [&] {
        lock.LockRead();
        return ++holds;
    };
    auto handOff = [&](long mine) {
        DWORD start = ::GetTickCount();
        while (holds.load() == mine && !done.load() && ::GetTickCount() - start < 500) ::Sleep(1);
        lock.UnlockRead();
    };
    long first = hold();  // the relay starts with the lock held
    auto relay = [&] {
        while (!done.load()) handOff(hold());
    };
    std::thread a(relay), b(relay);
    handOff(first);
    while (holds.load() < 10) ::Sleep(1);  // the relay is running
    std::thread writer([&] {
        lock.Lock();
        written = true;
        lock.Unlock();
    });
    DWORD start = ::GetTickCount();
    while (!written.load() && ::GetTickCount() - start < 30000) ::Sleep(5);
    EXPECT_TRUE(written.load()) << "the readers kept the writer out for 30 s";
    done = true;  // ends the relay either way
    a.join();
    b.join();
    writer.join();
}

TEST(Reg, ValuesFollowTheViewRule) {
    std::wstring key = TestKey(L"view");
    PutValue(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY, L"which", L"64");
    if (isWow64()) PutValue(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY, L"which", L"32");
    wchar_t out[300] = L"untouched";
    ASSERT_EQ(1, GetRegInfo(HKEY_LOCAL_MACHINE, key.data(), const_cast<wchar_t*>(L"which"), 1, out));
    EXPECT_STREQ(L"64", out);
    ASSERT_EQ(1, GetRegInfo(HKEY_LOCAL_MACHINE, key.data(), const_cast<wchar_t*>(L"which"), 0, out));
    EXPECT_STREQ(isWow64() ? L"32" : L"64", out);

    // Writes go to the view chosen the same way.
    EXPECT_EQ(1, SetRegInfo(HKEY_LOCAL_MACHINE, key.data(), const_cast<wchar_t*>(L"which"), 1,
                            L"sixty-four"));
    ASSERT_EQ(1, GetRegInfo(HKEY_LOCAL_MACHINE, key.data(), const_cast<wchar_t*>(L"which"), 1, out));
    EXPECT_STREQ(L"sixty-four", out);
    ASSERT_EQ(1, GetRegInfo(HKEY_LOCAL_MACHINE, key.data(), const_cast<wchar_t*>(L"which"), 0, out));
    EXPECT_STREQ(isWow64() ? L"32" : L"sixty-four", out);

    DropKey(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY);
    if (isWow64()) DropKey(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY);
}

TEST(Reg, LongOrMissingValuesFailAndLeaveTheOutputAlone) {
    std::wstring key = TestKey(L"size");
    PutValue(HKEY_CURRENT_USER, key, 0, L"fits", std::wstring(129, L'x'));  // 260 bytes
    PutValue(HKEY_CURRENT_USER, key, 0, L"over", std::wstring(130, L'y'));  // 262 bytes
    PutValue(HKEY_CURRENT_USER, key, 0, L"long", std::wstring(200, L'z'));
    wchar_t out[300] = L"untouched";
    wchar_t* k = key.data();
    EXPECT_EQ(0, GetRegInfo(HKEY_CURRENT_USER, k, const_cast<wchar_t*>(L"long"), 0, out));
    EXPECT_EQ(0, GetRegInfo(HKEY_CURRENT_USER, k, const_cast<wchar_t*>(L"over"), 0, out));
    EXPECT_EQ(0, GetRegInfo(HKEY_CURRENT_USER, k, const_cast<wchar_t*>(L"absent"), 0, out));
    EXPECT_STREQ(L"untouched", out);
    EXPECT_EQ(1, GetRegInfo(HKEY_CURRENT_USER, k, const_cast<wchar_t*>(L"fits"), 0, out));
    EXPECT_EQ(std::wstring(129, L'x'), out);

    // SetRegInfo never creates keys and refuses a null value.
    std::wstring missing = key + L"\\missing";
    EXPECT_EQ(0, SetRegInfo(HKEY_CURRENT_USER, missing.data(), const_cast<wchar_t*>(L"v"), 0, L"1"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, missing, 0));
    EXPECT_EQ(0, SetRegInfo(HKEY_CURRENT_USER, k, const_cast<wchar_t*>(L"v"), 0, nullptr));
    DropKey(HKEY_CURRENT_USER, key, 0);
}

// A key the caller may read but not change is read: asking for full access
// would be refused there.
TEST(Reg, AValueIsReadWithReadRightsOnly) {
    std::wstring key = TestKey(L"readonly");
    PutValue(HKEY_CURRENT_USER, key, 0, L"v", L"read me");
    HKEY k = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, WRITE_DAC, &k));
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &sd, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, sd));
    ::LocalFree(sd);
    ::RegCloseKey(k);

    HKEY full = nullptr;
    bool enforced = ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &full) !=
                    ERROR_SUCCESS;
    if (full) ::RegCloseKey(full);
    wchar_t out[131] = L"untouched";
    int got = GetRegInfo(HKEY_CURRENT_USER, const_cast<wchar_t*>(key.c_str()),
                         const_cast<wchar_t*>(L"v"), 0, out);

    // The owner may always give itself its rights back.
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, WRITE_DAC, &k));
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KA;;;WD)", SDDL_REVISION_1,
                                                           &sd, nullptr);
    ::RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, sd);
    ::LocalFree(sd);
    ::RegCloseKey(k);
    DropKey(HKEY_CURRENT_USER, key, 0);

    ASSERT_TRUE(enforced) << "full access was granted: the read-only rights show nothing";
    EXPECT_EQ(1, got);
    EXPECT_STREQ(L"read me", out);
}

TEST(Reg, AutoRunWritesAndRemovesTheRunValue) {
    const wchar_t kRun[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    HKEY run = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRun, 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &run, nullptr));
    std::wstring name = L"QvTestRun" + std::to_wstring(::GetCurrentProcessId());
    auto read = [&](std::wstring* out) {
        wchar_t buf[MAX_PATH + 2] = {};
        DWORD type = 0, bytes = sizeof(buf) - sizeof(wchar_t);
        LONG r = ::RegQueryValueExW(run, name.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(buf), &bytes);
        *out = buf;
        return r == ERROR_SUCCESS && type == REG_SZ;
    };
    std::wstring value;
    EXPECT_EQ(1, SetAutoRun(name.c_str(), 1, L"\"c:\\prog\\qv.exe\" /tray"));
    ASSERT_TRUE(read(&value));
    EXPECT_EQ(L"\"c:\\prog\\qv.exe\" /tray", value);
    EXPECT_EQ(1, SetAutoRun(name.c_str(), 1, nullptr));
    ASSERT_TRUE(read(&value));
    EXPECT_EQ(qvtest::SelfPath(), value);
    EXPECT_EQ(1, SetAutoRun(name.c_str(), 0, nullptr));
    EXPECT_FALSE(read(&value));
    EXPECT_EQ(1, SetAutoRun(name.c_str(), 0, nullptr));  // already gone
    ::RegCloseKey(run);
}

namespace {

void CALLBACK CountCall(void* data) {
    static_cast<std::atomic<int>*>(data)->fetch_add(1);
}

bool WaitCount(const std::atomic<int>& n, int atLeast, DWORD ms) {
    DWORD start = ::GetTickCount();
    while (n.load() < atLeast && ::GetTickCount() - start < ms) ::Sleep(10);
    return n.load() >= atLeast;
}

bool WaitMonitors(int count, DWORD ms) {
    DWORD start = ::GetTickCount();
    while (CQvReg::Instance().GetMonitorCount() != count && ::GetTickCount() - start < ms)
        ::Sleep(10);
    return CQvReg::Instance().GetMonitorCount() == count;
}

}  // namespace

TEST(RegMonitor, CallsBackAtOnceThenOncePerChangeAndStops) {
    std::wstring key = TestKey(L"watch");
    PutValue(HKEY_CURRENT_USER, key, 0, L"v", L"0");
    std::atomic<int> calls{0};
    StartMonitor(HKEY_CURRENT_USER, key.c_str(), 0, &CountCall, &calls);
    EXPECT_EQ(1, CQvReg::Instance().GetMonitorCount()) << "counted as soon as it is started";
    ASSERT_TRUE(WaitCount(calls, 1, 10000));
    EXPECT_EQ(1, calls.load()) << "no change, no second call";

    // From the first call on, value changes are reported too. The watcher is
    // armed again before each call, so a change made the moment a call is
    // seen is never lost.
    for (int i = 1; i <= 5; ++i) {
        PutValue(HKEY_CURRENT_USER, key, 0, L"v", std::to_wstring(i));
        ASSERT_TRUE(WaitCount(calls, 1 + i, 10000)) << "change " << i << " was lost";
    }
    int before = calls.load();
    PutValue(HKEY_CURRENT_USER, key + L"\\child", 0, L"v", L"x");
    EXPECT_TRUE(WaitCount(calls, before + 1, 10000));

    StopMonitor();
    EXPECT_TRUE(WaitMonitors(0, 10000));
    DropKey(HKEY_CURRENT_USER, key, 0);
}

TEST(RegMonitor, StopEndsEveryWatcherAndBadRequestsStartNone) {
    std::wstring key = TestKey(L"many");
    PutValue(HKEY_CURRENT_USER, key, 0, L"v", L"0");
    std::atomic<int> calls{0};
    for (int i = 0; i < 3; ++i) StartMonitor(HKEY_CURRENT_USER, key.c_str(), 0, &CountCall, &calls);
    ASSERT_TRUE(WaitMonitors(3, 10000));
    ASSERT_TRUE(WaitCount(calls, 3, 10000));
    StopMonitor();
    EXPECT_TRUE(WaitMonitors(0, 10000));

    // A key that does not exist: the watcher ends without a call. Once the
    // count is back to zero its thread has returned, so the absence of
    // calls is certain rather than waited for.
    calls = 0;
    StartMonitor(HKEY_CURRENT_USER, (key + L"\\absent").c_str(), 0, &CountCall, &calls);
    // A path of 300 units would not fit the request: refused, never counted.
    std::wstring tooLong = key + L"\\" + std::wstring(300, L'k');
    StartMonitor(HKEY_CURRENT_USER, tooLong.c_str(), 0, &CountCall, &calls);
    EXPECT_TRUE(WaitMonitors(0, 10000));
    EXPECT_EQ(0, calls.load());
    DropKey(HKEY_CURRENT_USER, key, 0);
}

// StopMonitor returns only once no callback of the watchers it ends can run,
// so that their userData may be freed right after it.
struct Blocking {
    qv::ScopedHandle entered{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    qv::ScopedHandle release{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> stopped{false};
    std::atomic<int> late{0};
};

void CALLBACK BlockingCall(void* data) {
    auto* b = static_cast<Blocking*>(data);
    if (b->stopped.load()) ++b->late;
    ::SetEvent(b->entered.get());
    ::WaitForSingleObject(b->release.get(), 60000);
}

TEST(RegMonitor, StopWaitsForARunningCallback) {
    std::wstring key = TestKey(L"blocking");
    PutValue(HKEY_CURRENT_USER, key, 0, L"v", L"0");
    Blocking b;
    StartMonitor(HKEY_CURRENT_USER, key.c_str(), 0, &BlockingCall, &b);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(b.entered.get(), 30000));
    qv::ScopedHandle stopped(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread stopper([&] {
        StopMonitor();
        b.stopped = true;
        ::SetEvent(stopped.get());
    });
    // The callback is still blocked, so StopMonitor cannot return however
    // long we give it; a second is plenty for a StopMonitor that does not
    // wait to show that it returned.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(stopped.get(), 1000))
        << "StopMonitor returned while the callback ran";
    ::SetEvent(b.release.get());
    stopper.join();
    EXPECT_TRUE(b.stopped.load());
    EXPECT_EQ(0, b.late.load());
    EXPECT_TRUE(WaitMonitors(0, 10000));
    DropKey(HKEY_CURRENT_USER, key, 0);
}

// A watcher started right after a stop must not revive the watchers that
// had not yet seen it.
TEST(RegMonitor, AStartRightAfterAStopLeavesTheStopInForce) {
    std::wstring key = TestKey(L"restart");
    PutValue(HKEY_CURRENT_USER, key, 0, L"v", L"0");
    std::atomic<int> oldCalls{0}, newCalls{0};
    for (int i = 0; i < 2; ++i)
        StartMonitor(HKEY_CURRENT_USER, key.c_str(), 0, &CountCall, &oldCalls);
    ASSERT_TRUE(WaitCount(oldCalls, 2, 10000));
    StopMonitor();
    StartMonitor(HKEY_CURRENT_USER, key.c_str(), 0, &CountCall, &newCalls);
    EXPECT_TRUE(WaitMonitors(1, 10000)) << "the stopped watchers went on";
    ASSERT_TRUE(WaitCount(newCalls, 1, 10000));
    StopMonitor();
    EXPECT_TRUE(WaitMonitors(0, 10000));
    DropKey(HKEY_CURRENT_USER, key, 0);
}
