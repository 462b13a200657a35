// Shared memory and the single-instance check, across processes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/QvUtil.h"
#include "support/TestUtil.h"

namespace {

std::wstring Unique(const wchar_t* tag) {
    return std::wstring(tag) + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(::GetTickCount());
}

// The name a child scenario works with, handed over in the environment.
std::wstring SharedName() {
    wchar_t name[128] = {};
    ::GetEnvironmentVariableW(L"QV_TEST_NAME", name, 128);
    return name;
}

// Starts a child scenario and keeps this thread's windows answering until
// it ends (the child sends to them).
int RunChildPumping(const char* scenario, const std::wstring& name) {
    ::SetEnvironmentVariableW(L"QV_TEST_NAME", name.c_str());
    std::wstring cmd = L"\"" + qvtest::SelfPath() + L"\" --qv-child=";
    for (const char* p = scenario; *p; ++p) cmd += static_cast<wchar_t>(*p);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
        return -2;
    }
    bool ended = qvtest::PumpUntil(
        [&] { return ::WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }, 60000);
    DWORD code = static_cast<DWORD>(-1);
    if (ended) ::GetExitCodeProcess(pi.hProcess, &code);
    else ::TerminateProcess(pi.hProcess, 1);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

QV_CHILD(ReadAndAnswer) {
    std::wstring name = SharedName();
    wchar_t text[64] = {};
    if (!ReadShareMem(name.c_str(), text) || std::wstring(text) != L"from parent") return 2;
    int answer = 4242;
    return WriteShareMem2(name.c_str(), &answer, sizeof(answer), 1024) ? 0 : 3;
}

QV_CHILD(SecondInstance) {
    return CheckOneInstance(SharedName().c_str(), L"--open file.txt");
}

std::wstring g_received;

LRESULT CALLBACK Receiver(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        auto* copy = reinterpret_cast<COPYDATASTRUCT*>(lp);
        if (copy->dwData == 0 && copy->cbData >= sizeof(wchar_t)) {
            g_received.assign(static_cast<const wchar_t*>(copy->lpData),
                              copy->cbData / sizeof(wchar_t) - 1);
        }
        return TRUE;
    }
    return ::DefWindowProcW(wnd, msg, wp, lp);
}

}  // namespace

TEST(ShareMem, RoundTripsWithinOneProcessAndAcross) {
    std::wstring name = Unique(L"QvTestMem");
    EXPECT_EQ(0, isExistsShareMem(name.c_str()));
    wchar_t out[64] = {};
    EXPECT_EQ(0, ReadShareMem(name.c_str(), out));
    EXPECT_EQ(0, WriteShareMem(name.c_str(), L"x", 0));

    HANDLE mem = CreateShareMem(name.c_str(), 8192);
    ASSERT_NE(nullptr, mem);
    EXPECT_EQ(1, isExistsShareMem(name.c_str()));
    ASSERT_EQ(1, WriteShareMem(name.c_str(), L"from parent", 0));
    ASSERT_EQ(1, WriteShareMem(name.c_str(), L"tail", 100));
    wchar_t tail[8] = {};
    ASSERT_EQ(1, ReadShareMem2(name.c_str(), tail, 10, 200));
    EXPECT_STREQ(L"tail", tail);

    EXPECT_EQ(0, RunChildPumping("ReadAndAnswer", name));
    int answer = 0;
    ASSERT_EQ(1, ReadShareMem2(name.c_str(), &answer, sizeof(answer), 1024));
    EXPECT_EQ(4242, answer);
    ::CloseHandle(mem);
    EXPECT_EQ(0, isExistsShareMem(name.c_str()));
}

TEST(ShareMem, WritesAndReadsStayInsideTheMapping) {
    std::wstring name = Unique(L"QvTestGuard");
    HANDLE mem = CreateShareMem(name.c_str(), 8192);
    ASSERT_NE(nullptr, mem);
    char block[64];
    std::memset(block, 'q', sizeof(block));
    EXPECT_EQ(1, WriteShareMem2(name.c_str(), block, 64, 8192 - 64));
    EXPECT_EQ(0, WriteShareMem2(name.c_str(), block, 64, 8192 - 63));
    EXPECT_EQ(0, WriteShareMem2(name.c_str(), block, 1, 8192));
    EXPECT_EQ(0, WriteShareMem2(name.c_str(), block, 1, -1));
    EXPECT_EQ(0, WriteShareMem2(name.c_str(), block, -1, 0));
    EXPECT_EQ(0, ReadShareMem2(name.c_str(), block, 2, 8191));
    EXPECT_EQ(1, ReadShareMem2(name.c_str(), block, 1, 8191));
    EXPECT_EQ('q', block[0]);

    // Text: 4095 units and the terminator fill the last 8192 bytes exactly.
    std::wstring text(4095, L'w');
    EXPECT_EQ(1, WriteShareMem(name.c_str(), text.c_str(), 0));
    EXPECT_EQ(0, WriteShareMem(name.c_str(), text.c_str(), 1));
    EXPECT_EQ(0, WriteShareMem(name.c_str(), L"", 4096));
    EXPECT_EQ(1, WriteShareMem(name.c_str(), L"", 4095));

    // A mapping filled without a terminator reads up to its end, no further.
    std::wstring full(4096, L'z');
    ASSERT_EQ(1, WriteShareMem2(name.c_str(), full.data(), 8192, 0));
    std::wstring out(4200, L'\0');
    ASSERT_EQ(1, ReadShareMem(name.c_str(), out.data()));
    EXPECT_EQ(4096u, std::wcslen(out.c_str()));
    ::CloseHandle(mem);
}

TEST(OneInstance, SecondInstanceHandsOverItsCommandLine) {
    std::wstring name = Unique(L"QvTestOne");
    EXPECT_EQ(1, CheckOneInstance(name.c_str(), nullptr));
    // The mutex exists but no window carries the name: still "first".
    EXPECT_EQ(1, CheckOneInstance(name.c_str(), nullptr));
    EXPECT_EQ(1, RunChildPumping("SecondInstance", name));

    WNDCLASSW wc{};
    wc.lpfnWndProc = Receiver;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QvTestReceiver";
    ::RegisterClassW(&wc);
    HWND wnd = ::CreateWindowW(L"QvTestReceiver", name.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                               nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, wnd);
    EXPECT_EQ(0, RunChildPumping("SecondInstance", name));
    EXPECT_EQ(L"--open file.txt", g_received);
    EXPECT_TRUE(::IsWindowVisible(wnd)) << "the first instance is shown";
    ::DestroyWindow(wnd);
}
