#include "app/QvDump.h"

#include <atomic>

#include "app/QvDumpWork.h"
#include "base/QvScoped.h"
#include "base/QvStackReserve.h"
#include "ui/QvThread.h"

namespace {

// The crash handler's state lives in plain globals, not in the instance: the
// filter must work with almost no stack and whatever state the crash left.
CqvDump* g_installed = nullptr;
std::atomic<DWORD> g_handlingThread{0};  // the first faulting thread; 0 until a crash
std::atomic<DWORD> g_workerThread{0};    // the thread doing the work
tagCrashInfo g_crash{};

// The work gets a thread of its own with this much stack, so that it also
// runs after a stack overflow.
constexpr SIZE_T kWorkerStack = 1024 * 1024;
// A faulting thread serves messages sent to its windows (the notice
// disables and re-enables the main window) only with this much stack left.
constexpr SIZE_T kServeStack = 256 * 1024;
// Normally the notice closes itself after five seconds. A handler stuck on
// a lock the crashed thread held must still end the process.
constexpr DWORD kWatchdogMs = 60 * 1000;

SIZE_T StackLeft() {
    MEMORY_BASIC_INFORMATION region{};
    if (!::VirtualQuery(&region, &region, sizeof(region))) return 0;
    return static_cast<SIZE_T>(reinterpret_cast<char*>(&region) -
                               static_cast<char*>(region.AllocationBase));
}

DWORD WINAPI CrashWorker(void*) {
    g_workerThread = ::GetCurrentThreadId();
    const CqvDump* dump = g_installed;
    HandleCrash(g_crash, dump ? dump->reportType.c_str() : nullptr);
    return 0;
}

// A thread that faults while the first crash is handled.
[[noreturn]] void ParkSecondFault(EXCEPTION_POINTERS* info) {
    const DWORD self = ::GetCurrentThreadId();
    if (self == g_handlingThread || self == g_workerThread) {
        // The handling itself failed: no second report, dump or notice, and
        // nothing left that could finish the first.
        DWORD code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 1;
        ::TerminateProcess(::GetCurrentProcess(), code);
    }
    // Its windows may be the notice's owner: keep answering sent messages
    // while the stack allows, until the first crash ends the process.
    const bool serve = StackLeft() >= kServeStack;
    for (;;) {
        if (serve)
            QvWaitServingSends(nullptr, INFINITE);
        else
            ::Sleep(INFINITE);
    }
}

}  // namespace

CqvDump::CqvDump()
    : previousFilter(::SetUnhandledExceptionFilter(&CqvDump::ExceptionFilter)),
      previousInstance_(g_installed) {
    g_installed = this;
}

CqvDump::~CqvDump() {
    if (g_installed != this) return;
    ::SetUnhandledExceptionFilter(previousFilter);
    g_installed = previousInstance_;
}

CqvDump::CqvDump(const CqvDump& other)
    : previousFilter(other.previousFilter), appName(other.appName),
      reportType(other.reportType) {}

CqvDump& CqvDump::operator=(const CqvDump& other) {
    previousFilter = other.previousFilter;
    appName = other.appName;
    reportType = other.reportType;
    return *this;
}

void CqvDump::Install(const wchar_t* name, const wchar_t* type) {
    appName = name ? name : L"";
    reportType = type ? type : L"";
}

LONG WINAPI CqvDump::ExceptionFilter(EXCEPTION_POINTERS* info) {
    // Little stack may be left here: no large locals, and the real work on
    // a fresh thread.
    const DWORD self = ::GetCurrentThreadId();
    DWORD none = 0;
    if (!g_handlingThread.compare_exchange_strong(none, self)) ParkSecondFault(info);

    g_crash.exception = info;
    g_crash.threadId = self;
    g_crash.threadServesSends = StackLeft() >= kServeStack;
    qv::ScopedHandle worker(::CreateThread(nullptr, kWorkerStack, CrashWorker, nullptr,
                                           STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!worker) {
        // No thread to be had: do it here, as far as this stack goes. The
        // notice is then this thread's own window.
        g_crash.threadServesSends = true;
        g_workerThread = self;
        const CqvDump* dump = g_installed;
        HandleCrash(g_crash, dump ? dump->reportType.c_str() : nullptr);
        return EXCEPTION_EXECUTE_HANDLER;
    }
    if (g_crash.threadServesSends)
        QvWaitServingSends(worker.get(), kWatchdogMs);
    else
        ::WaitForSingleObject(worker.get(), kWatchdogMs);
    return EXCEPTION_EXECUTE_HANDLER;
}

void InstallDump(const wchar_t* appName, const wchar_t* reportType) {
    KeepStackForCrashHandler();
    static CqvDump dump;
    dump.Install(appName, reportType);
}
