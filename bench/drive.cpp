// Drives the programs measured by tools/bench.sh, all timed on one clock.
//   qvbench_drive start EXE            start to first presented frame (ms) and the peak
//                                      working set once shown, then closes it
//   qvbench_drive uninstall EXE TREE   clicks "卸 载" once the window has slid in; click to
//                                      TREE gone (ms) and the peak working set on the way
//   qvbench_drive run EXE ARGS TREE    start of EXE ARGS to TREE gone, and its peak working set
//   qvbench_drive pages EXE ARGS TREE  an NSIS uninstaller with its pages: start to its page
//                                      shown and painted (first=), then clicks its "卸载"
//                                      button; click to TREE gone (ms) and the peak working set
// Programs signal their first frame through the event named by
// QV_FIRST_FRAME_EVENT.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

namespace {

LARGE_INTEGER g_freq;

double NowMs() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart * 1000.0 / g_freq.QuadPart;
}

struct Child {
    PROCESS_INFORMATION pi{};
    HANDLE firstFrame = nullptr;
    double started = 0;
};

bool Start(const std::wstring& exe, const std::wstring& args, Child* child) {
    wchar_t name[64];
    std::swprintf(name, 64, L"QvBenchFrame%lu", ::GetCurrentProcessId());
    child->firstFrame = ::CreateEventW(nullptr, TRUE, FALSE, name);
    ::SetEnvironmentVariableW(L"QV_FIRST_FRAME_EVENT", name);
    std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    child->started = NowMs();
    return ::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            folder.c_str(), &si, &child->pi) != 0;
}

struct Found {
    DWORD pid;
    HWND wnd;
};

BOOL CALLBACK FindProc(HWND wnd, LPARAM lp) {
    auto* f = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    if (pid == f->pid && ::IsWindowVisible(wnd)) {
        f->wnd = wnd;
        return FALSE;
    }
    return TRUE;
}

HWND WindowOf(DWORD pid) {
    Found f{pid, nullptr};
    ::EnumWindows(FindProc, reinterpret_cast<LPARAM>(&f));
    return f.wnd;
}

SIZE_T Peak(HANDLE process) {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    return ::GetProcessMemoryInfo(process, &pmc, sizeof(pmc)) ? pmc.PeakWorkingSetSize : 0;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Polls until tree is gone; the peak working set is read on the way, as
// the counter is gone once the process has ended.
bool WaitGone(const Child& c, const std::wstring& tree, double* doneAt, SIZE_T* peak) {
    const double limit = NowMs() + 600000;
    while (NowMs() < limit) {
        SIZE_T p = Peak(c.pi.hProcess);
        if (p > *peak) *peak = p;
        if (!Exists(tree)) {
            *doneAt = NowMs();
            return true;
        }
        // Often enough for a figure in seconds, seldom enough not to
        // compete with the deleter for the Wine server.
        ::Sleep(10);
    }
    return false;
}

// A click at `at` in target's client area, as the mouse gives it; returns
// when it was given.
double Click(HWND target, LPARAM at) {
    ::PostMessageW(target, WM_MOUSEMOVE, 0, at);
    const double clicked = NowMs();
    ::PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(target, WM_LBUTTONUP, 0, at);
    return clicked;
}

void End(Child& c, DWORD waitMs) {
    if (::WaitForSingleObject(c.pi.hProcess, waitMs) != WAIT_OBJECT_0)
        ::TerminateProcess(c.pi.hProcess, 1);
    ::CloseHandle(c.pi.hProcess);
    ::CloseHandle(c.pi.hThread);
}

int StartToFrame(const std::wstring& exe) {
    Child c;
    if (!Start(exe, L"", &c)) return 1;
    if (::WaitForSingleObject(c.firstFrame, 60000) != WAIT_OBJECT_0) {
        ::TerminateProcess(c.pi.hProcess, 1);
        return 1;
    }
    const double ms = NowMs() - c.started;
    HWND wnd = nullptr;
    for (int i = 0; i < 5000 && !(wnd = WindowOf(c.pi.dwProcessId)); ++i) ::Sleep(2);
    // Settled: what a shown window costs, before it is closed.
    ::Sleep(500);
    std::printf("ms=%.1f peak=%llu\n", ms, static_cast<unsigned long long>(Peak(c.pi.hProcess)));
    if (wnd) ::PostMessageW(wnd, WM_CLOSE, 0, 0);
    End(c, 10000);
    return 0;
}

int Uninstall(const std::wstring& exe, const std::wstring& tree) {
    Child c;
    if (!Start(exe, L"", &c)) return 1;
    if (::WaitForSingleObject(c.firstFrame, 60000) != WAIT_OBJECT_0) return 1;
    // The window slides in from the left edge; click once it rests centred.
    const int left = (::GetSystemMetrics(SM_CXSCREEN) - 450) / 2;
    HWND wnd = nullptr;
    RECT rc{};
    for (int i = 0; i < 5000; ++i) {
        if (!wnd) wnd = WindowOf(c.pi.dwProcessId);
        if (wnd && ::GetWindowRect(wnd, &rc) && rc.left == left) break;
        ::Sleep(2);
    }
    if (!wnd) return 1;
    ::Sleep(300);
    const double clicked = Click(wnd, MAKELPARAM(255 + 34, 148 + 14));
    double done = 0;
    SIZE_T peak = 0;
    if (!WaitGone(c, tree, &done, &peak)) return 1;
    std::printf("ms=%.1f peak=%llu\n", done - clicked, static_cast<unsigned long long>(peak));
    End(c, 60000);
    return 0;
}

int Run(const std::wstring& exe, const std::wstring& args, const std::wstring& tree) {
    Child c;
    if (!Start(exe, args, &c)) return 1;
    double done = 0;
    SIZE_T peak = 0;
    if (!WaitGone(c, tree, &done, &peak)) return 1;
    std::printf("ms=%.1f peak=%llu\n", done - c.started, static_cast<unsigned long long>(peak));
    End(c, 60000);
    return 0;
}

BOOL CALLBACK FindButton(HWND wnd, LPARAM lp) {
    // NSIS's own buttons are children of its outer dialog; IDOK is the one
    // that goes on ("卸载" on the confirmation page).
    if (::GetDlgCtrlID(wnd) == IDOK && ::IsWindowVisible(wnd) && ::IsWindowEnabled(wnd)) {
        *reinterpret_cast<HWND*>(lp) = wnd;
        return FALSE;
    }
    return TRUE;
}

int Pages(const std::wstring& exe, const std::wstring& args, const std::wstring& tree) {
    Child c;
    if (!Start(exe, args, &c)) return 1;
    // Shown and painted: the window is visible and the program has gone
    // idle for the first time, which it does only after its first paint
    // (WM_PAINT is handed out before a message loop waits).
    HWND wnd = nullptr, button = nullptr;
    const double limit = NowMs() + 60000;
    while (NowMs() < limit && !button) {
        if (!wnd) wnd = WindowOf(c.pi.dwProcessId);
        if (wnd) ::EnumChildWindows(wnd, FindButton, reinterpret_cast<LPARAM>(&button));
        if (!button) ::Sleep(1);
    }
    if (!button || ::WaitForInputIdle(c.pi.hProcess, 60000) != 0) {
        ::TerminateProcess(c.pi.hProcess, 1);
        return 1;
    }
    const double first = NowMs() - c.started;
    ::Sleep(300);  // as long as the uninstaller's click waits once it rests
    RECT rc{};
    ::GetClientRect(button, &rc);
    const double clicked = Click(button, MAKELPARAM(rc.right / 2, rc.bottom / 2));
    double done = 0;
    SIZE_T peak = 0;
    if (!WaitGone(c, tree, &done, &peak)) {
        ::TerminateProcess(c.pi.hProcess, 1);
        return 1;
    }
    std::printf("ms=%.1f peak=%llu first=%.1f\n", done - clicked,
                static_cast<unsigned long long>(peak), first);
    // Its last page waits for "关闭"; the measure is over.
    ::TerminateProcess(c.pi.hProcess, 0);
    End(c, 10000);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::QueryPerformanceFrequency(&g_freq);
    std::wstring verb = argc > 1 ? argv[1] : L"";
    if (verb == L"start" && argc == 3) return StartToFrame(argv[2]);
    if (verb == L"uninstall" && argc == 4) return Uninstall(argv[2], argv[3]);
    if (verb == L"run" && argc == 5) return Run(argv[2], argv[3], argv[4]);
    if (verb == L"pages" && argc == 5) return Pages(argv[2], argv[3], argv[4]);
    std::fprintf(stderr,
                 "usage: qvbench_drive start EXE | uninstall EXE TREE | run EXE ARGS TREE | "
                 "pages EXE ARGS TREE\n");
    return 2;
}
