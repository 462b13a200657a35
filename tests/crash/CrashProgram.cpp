// qvcrash.exe: a small program on the framework that installs the crash
// handler the way the uninstaller does, shows a main dialog and then
// faults, for tests/e2e_crash.sh.
//
//   qvcrash.exe MODE [REPORT-HOST [TITLE]]
//     ui        access violation on the user-interface thread (in a window procedure)
//     worker    access violation on a worker thread
//     overflow  stack overflow on the user-interface thread
//     together  two workers and the user-interface thread fault at once
//     raise     an exception raised (not a fault) on the user-interface thread,
//               code 0xE0514D31: the one crash an emulator that misreports
//               faults still delivers as it happens
//   qvcrash.exe refs FOLDER
//     writes the OK button as the notice draws it for each caption of the
//     count-down ("ok", "ok4" ... "ok0" .png), for comparison with screenshots
//
// Before faulting it writes the ids of the threads about to fault, one a
// line, to "<program path>.tid".
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>

#include "ui/QvApp.h"
#include "app/QvReport.h"
#include "app/QvDump.h"
#include "ui/QvButton.h"
#include "ui/QvDC.h"
#include "ui/QvDlg.h"
#include "ui/QvImage.h"
#include "ui/QvThread.h"

namespace {

constexpr wchar_t kAppName[] = L"塔洛软件-崩溃测试";
constexpr UINT WM_CRASH_NOW = WM_APP + 1;  // wParam: 0 access violation, 1 stack overflow, 2 raise
constexpr DWORD kRaisedCode = 0xE0514D31;

// Hidden from the optimiser, so the fault is a real access violation and
// not a trap instruction it put in place of a null store.
volatile std::uintptr_t g_badAddress = 0;
HANDLE g_go = nullptr;  // manual-reset: the workers of "together" fault at once

[[gnu::noinline]] void Fault() {
    *reinterpret_cast<volatile int*>(g_badAddress) = 1;
}

[[gnu::noinline]] int Recurse(int depth) {
    volatile char frame[2048];
    frame[0] = static_cast<char>(depth);
    // Not a tail call, and no end the optimiser can see: every level keeps
    // its frame until the stack runs out.
    if (g_badAddress == 0) return Recurse(depth + 1) + frame[0];
    return frame[0];
}

void WriteThreadIds(const std::wstring& ids) {
    wchar_t path[MAX_PATH + 8];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wcscpy(path + n, L".tid");
    HANDLE f = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        // A folder without write rights: say so on the console instead.
        std::fwprintf(stderr, L"%ls", ids.c_str());
        return;
    }
    std::string bytes(ids.begin(), ids.end());  // digits and newlines only
    DWORD written = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(f);
}

std::wstring IdLine(DWORD id) {
    return std::to_wstring(id) + L"\n";
}

unsigned FaultingWorker(void*) {
    if (g_go) ::WaitForSingleObject(g_go, INFINITE);
    Fault();
    return 0;
}

class MainDlg : public CQvDlg {
public:
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_CRASH_NOW) {
            if (g_go) ::SetEvent(g_go);
            if (wParam == 1)
                Recurse(0);
            else if (wParam == 2)
                ::RaiseException(kRaisedCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
            else
                Fault();
            return 0;
        }
        return CQvDlg::WndProc(wnd, msg, wParam, lParam);
    }
};

int WriteReferences(const wchar_t* folder) {
    const wchar_t* names[] = {L"ok", L"ok4", L"ok3", L"ok2", L"ok1", L"ok0"};
    HDC screen = ::GetDC(nullptr);
    for (int i = 0; i < 6; ++i) {
        wchar_t caption[32] = L"确定";
        if (i > 0) std::swprintf(caption, 32, L"确定(%d)", 5 - i);
        RECT r{0, 0, 70, 25};
        CQvDC mem(screen, r, false, false, nullptr);
        CQvButton button;  // as the notice makes its OK button
        button.Init(caption, 0, 0, 70, 25, 2, 1, nullptr, nullptr);
        button.DrawAt(mem.memDC, 0, 0);
        std::wstring path = std::wstring(folder) + L"\\" + names[i] + L".png";
        if (!CQvImage::Instance().SavePic(mem.memDC, r, path.c_str(), L"png")) return 1;
    }
    ::ReleaseDC(nullptr, screen);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"refs" && argc > 2) return WriteReferences(argv[2]);

    const wchar_t* name = argc > 3 ? argv[3] : kAppName;  // the title of every window
    CQvApp& app = CQvApp::Instance();
    app.SetAppName(name);
    InstallDump(name, L"tl_uninstall_dump");
    if (argc > 2) SetReportHost(argv[2]);

    MainDlg dlg;
    if (!dlg.Create(0, 0, 450, 230, 0, false, nullptr, 0)) return 2;
    dlg.ShowDlg(QV_EFFECT_NONE, true, SW_SHOW);
    app.mainWnd = dlg.hwnd;
    // The window is shown and painted before it faults; a minute is far
    // more than that takes, emulated too.
    const DWORD shown = ::GetTickCount();
    MSG msg;
    while (!::IsWindowVisible(dlg.hwnd) || ::GetUpdateRect(dlg.hwnd, nullptr, FALSE)) {
        if (::GetTickCount() - shown > 60000) return 3;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }

    const DWORD ui = ::GetCurrentThreadId();
    if (mode == L"ui" || mode == L"overflow" || mode == L"raise") {
        WriteThreadIds(IdLine(ui));
        ::PostMessageW(dlg.hwnd, WM_CRASH_NOW, mode == L"overflow" ? 1 : mode == L"raise" ? 2 : 0, 0);
    } else if (mode == L"worker" || mode == L"together") {
        const bool together = mode == L"together";
        if (together) g_go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::wstring ids;
        for (int i = 0; i < (together ? 2 : 1); ++i) {
            HANDLE t = CQvThread::Instance().StartThread(FaultingWorker, nullptr, 0);
            ids += IdLine(::GetThreadId(t));
            ::CloseHandle(t);
        }
        if (together) {
            ids += IdLine(ui);
            WriteThreadIds(ids);
            ::PostMessageW(dlg.hwnd, WM_CRASH_NOW, 0, 0);  // releases the workers, then faults
        } else {
            WriteThreadIds(ids);
        }
    } else {
        return 3;
    }
    app.MsgLoop();
    return 0;
}
