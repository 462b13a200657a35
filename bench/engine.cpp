// Times the uninstall engine itself, in this process, on the calling
// thread: reading the data file beside this program, counting, deleting the
// folder it lists and the rest of its steps, with a window that takes the
// progress messages. What the dialog, the 300 ms pause and process start
// add is left out, so that the cost per file can be compared across sizes.
//   qvbench_engine      prints "ms=... messages=..."
#include <windows.h>

#include <cstdio>

#include "app/QvUninstaller.h"

namespace {

int g_messages = 0;

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_UNINSTALL_PROGRESS) {
        ++g_messages;
        return 0;
    }
    return ::DefWindowProcW(wnd, msg, wp, lp);
}

}  // namespace

int wmain() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QvBenchEngine";
    ::RegisterClassW(&wc);
    HWND wnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
    if (!wnd) return 1;
    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    CQvUninstaller engine;
    ::QueryPerformanceCounter(&t0);
    engine.StartUninstall(wnd, 0);
    ::QueryPerformanceCounter(&t1);
    std::printf("ms=%.1f messages=%d\n", (t1.QuadPart - t0.QuadPart) * 1000.0 / freq.QuadPart,
                g_messages);
    ::DestroyWindow(wnd);
    return 0;
}
