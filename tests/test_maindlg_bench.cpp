// Figures, not a timed test: how long the main dialog takes to compose and
// present a frame, and how long the program takes from its start to its
// first frame on screen. The numbers are printed for the record; the only
// checks are that something was measured.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "app/MainDlg.h"
#include "app/QvApp.h"
#include "base/QvScoped.h"
#include "support/TestUtil.h"

namespace {

struct AppNamed {
    AppNamed() { CQvApp::Instance().SetAppName(L"QvBench"); }
};
const AppNamed named;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Mean milliseconds of one call of `frame` over `rounds` calls.
template <typename F>
double Mean(int rounds, F frame) {
    frame();  // the first call pays for one-time set-up
    auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) frame();
    return MsSince(start) / rounds;
}

}  // namespace

TEST(MainDlgBench, FrameTimes) {
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create(0, 0, 450, 230, 0, true, nullptr, 0));
    dlg.productName = L"塔洛浏览器";
    qv::ScopedWindowDC wdc(dlg.hwnd);
    RECT rc{0, 0, 450, 230};

    // Composing only: background, content and controls into a buffer.
    auto compose = [&] {
        CQvDC buffer(wdc.get(), rc, false, true, dlg.hwnd);
        dlg.DrawBackground(buffer.memDC, rc);
        dlg.DrawContent(buffer.memDC);
        for (CQvBase* c : dlg.controls) c->Paint(buffer.memDC);
    };
    // A whole paint as WM_PAINT does it, presentation included.
    auto paint = [&] { dlg.Paint(wdc.get()); };

    const int rounds = 30;
    double question = Mean(rounds, compose);
    double questionPaint = Mean(rounds, paint);
    dlg.mode = 1;
    dlg.inputSuspended = true;
    dlg.shownPercent = 50;
    double progress = Mean(rounds, compose);
    double progressPaint = Mean(rounds, paint);

    std::printf("question frame: compose %.2f ms, paint and present %.2f ms\n", question,
                questionPaint);
    std::printf("progress frame: compose %.2f ms, paint and present %.2f ms\n", progress,
                progressPaint);
    RecordProperty("question_compose_us", static_cast<int>(question * 1000));
    RecordProperty("progress_compose_us", static_cast<int>(progress * 1000));
    EXPECT_GT(question, 0.0);
    EXPECT_GT(progress, 0.0);
}

// Starts the real program (no data file beside it, so nothing can be
// removed), waits for its window to be on screen and closes it.
TEST(MainDlgBench, StartToFirstFrame) {
    std::wstring exe = CQvApp::Instance().curPath;
    exe += L"qvUninstall.exe";
    ASSERT_TRUE(qvtest::FileExists(exe));
    std::wstring data = CQvApp::Instance().curPath;
    data += L"qvUninstall.dat";
    ASSERT_FALSE(qvtest::FileExists(data)) << "a data file beside the program would be acted on";

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + exe + L"\"";
    auto start = Clock::now();
    ASSERT_TRUE(::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &si, &pi));
    qv::ScopedHandle process(pi.hProcess), thread(pi.hThread);
    HWND wnd = nullptr;
    // The window is shown by the first frame of the slide-in, right after
    // the first composed frame has been handed to the window manager.
    bool shown = qvtest::PumpUntil(
        [&] {
            wnd = ::FindWindowW(nullptr, L"塔洛软件-卸载程序");
            return wnd && ::IsWindowVisible(wnd);
        },
        30000);
    double toFirstFrame = MsSince(start);
    ASSERT_TRUE(shown);
    std::printf("process start to first frame on screen: %.0f ms\n", toFirstFrame);
    RecordProperty("start_to_first_frame_ms", static_cast<int>(toFirstFrame));

    ::PostMessageW(wnd, WM_CLOSE, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 20000));
    DWORD code = 1;
    ::GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(0u, code);
}
