// The peer of the uninstaller's deletion: the plainest Win32 way to remove a
// tree, on a worker thread as the uninstaller's engine runs.
//   qvbench_loop FOLDER        prints "ms=<worker time> peak=<peak working set bytes>"
// Built a second time as qvbench_notify, whose worker also sends one
// synchronous message per deleted file to a window on the main thread, as
// the uninstaller's engine tells its dialog. The plain loop does not even
// load user32, as a deleter without a window need not.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

namespace {

#ifdef QV_BENCH_NOTIFY
HWND g_notify = nullptr;
void Notify() {
    ::SendMessageW(g_notify, WM_APP, 0, 0);
}
#else
void Notify() {}
#endif

void Remove(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = folder + L"\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Remove(path);
        } else {
            ::DeleteFileW(path.c_str());
            Notify();
        }
    } while (::FindNextFileW(find, &fd));
    ::FindClose(find);
    ::RemoveDirectoryW(folder.c_str());
}

DWORD WINAPI Worker(void* folder) {
    Remove(*static_cast<std::wstring*>(folder));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qvbench_loop FOLDER\n");
        return 2;
    }
    std::wstring folder = argv[1];
#ifdef QV_BENCH_NOTIFY
    g_notify = ::CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                               nullptr);
#endif
    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&t0);
    HANDLE thread = ::CreateThread(nullptr, 0, Worker, &folder, 0, nullptr);
    if (!thread) return 1;
#ifdef QV_BENCH_NOTIFY
    // Serves the worker's messages until it ends.
    while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
#else
    ::WaitForSingleObject(thread, INFINITE);
#endif
    ::QueryPerformanceCounter(&t1);
    ::CloseHandle(thread);
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof(pmc));
    std::printf("ms=%.1f peak=%llu\n", (t1.QuadPart - t0.QuadPart) * 1000.0 / freq.QuadPart,
                static_cast<unsigned long long>(pmc.PeakWorkingSetSize));
    return ::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES ? 0 : 1;
}
