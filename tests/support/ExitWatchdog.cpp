#include "support/ExitWatchdog.h"

#include <dbghelp.h>
#include <tlhelp32.h>

#include <cstdio>
#include <vector>

namespace qvtest {
namespace {

DWORD g_mainThread = 0;
DWORD g_watchMs = 0;

// "module+offset symbol" for a code address; the symbol only when the
// debug information could be read. Without it, the offset plus the image
// base that objdump -p shows is what addr2line wants.
void Describe(HANDLE process, DWORD64 address, char* out, size_t size) {
    HMODULE module = nullptr;
    char name[MAX_PATH] = "?";
    if (::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                 GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(address)), &module)) {
        char path[MAX_PATH] = {};
        ::GetModuleFileNameA(module, path, MAX_PATH);
        const char* base = path;
        for (const char* p = path; *p; ++p)
            if (*p == '\\' || *p == '/') base = p + 1;
        std::snprintf(name, sizeof(name), "%s+0x%llx", base,
                      static_cast<unsigned long long>(address - reinterpret_cast<ULONG_PTR>(module)));
    }
    alignas(SYMBOL_INFO) char buffer[sizeof(SYMBOL_INFO) + 256] = {};
    auto* symbol = reinterpret_cast<SYMBOL_INFO*>(buffer);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = 255;
    DWORD64 displacement = 0;
    if (::SymFromAddr(process, address, &displacement, symbol))
        std::snprintf(out, size, "%s %s+0x%llx", name, symbol->Name,
                      static_cast<unsigned long long>(displacement));
    else
        std::snprintf(out, size, "%s", name);
}

DWORD64 StartAddress(HANDLE thread) {
    using QueryFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    void* start = nullptr;
    constexpr int kThreadQuerySetWin32StartAddress = 9;
    if (!query || query(thread, kThreadQuerySetWin32StartAddress, &start, sizeof(start), nullptr))
        return 0;
    return reinterpret_cast<ULONG_PTR>(start);
}

void PrintStack(HANDLE process, HANDLE thread) {
    if (::SuspendThread(thread) == static_cast<DWORD>(-1)) return;
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    if (::GetThreadContext(thread, &context)) {
        STACKFRAME64 frame{};
#ifdef _WIN64
        const DWORD machine = IMAGE_FILE_MACHINE_AMD64;
        frame.AddrPC.Offset = context.Rip;
        frame.AddrFrame.Offset = context.Rbp;
        frame.AddrStack.Offset = context.Rsp;
#else
        const DWORD machine = IMAGE_FILE_MACHINE_I386;
        frame.AddrPC.Offset = context.Eip;
        frame.AddrFrame.Offset = context.Ebp;
        frame.AddrStack.Offset = context.Esp;
#endif
        frame.AddrPC.Mode = frame.AddrFrame.Mode = frame.AddrStack.Mode = AddrModeFlat;
        for (int depth = 0; depth < 16; ++depth) {
            if (!::StackWalk64(machine, process, thread, &frame, &context, nullptr,
                               ::SymFunctionTableAccess64, ::SymGetModuleBase64, nullptr) ||
                !frame.AddrPC.Offset)
                break;
            char where[512];
            Describe(process, frame.AddrPC.Offset, where, sizeof(where));
            std::fprintf(stderr, "      at %s\n", where);
        }
    }
    ::ResumeThread(thread);
}

DWORD WINAPI Watch(void*) {
    ::Sleep(g_watchMs);
    const DWORD self = ::GetCurrentThreadId();
    const DWORD pid = ::GetCurrentProcessId();
    HANDLE process = ::GetCurrentProcess();
    ::SymSetOptions(SYMOPT_UNDNAME | SYMOPT_DEFERRED_LOADS);
    ::SymInitialize(process, nullptr, TRUE);
    std::fprintf(stderr, "\nexit watchdog: the program did not end %lu ms after its tests; "
                 "threads still alive:\n", static_cast<unsigned long>(g_watchMs));
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    std::vector<DWORD> ids;
    for (BOOL more = ::Thread32First(snap, &entry); more; more = ::Thread32Next(snap, &entry))
        if (entry.th32OwnerProcessID == pid && entry.th32ThreadID != self)
            ids.push_back(entry.th32ThreadID);
    ::CloseHandle(snap);
    for (DWORD id : ids) {
        HANDLE thread = ::OpenThread(THREAD_ALL_ACCESS, FALSE, id);
        char start[512] = "?";
        if (thread) Describe(process, StartAddress(thread), start, sizeof(start));
        std::fprintf(stderr, "  thread %lu%s, started at %s\n", static_cast<unsigned long>(id),
                     id == g_mainThread ? " (main)" : "", start);
        if (thread) {
            PrintStack(process, thread);
            ::CloseHandle(thread);
        }
    }
    std::fflush(stderr);
    ::TerminateProcess(process, kExitHung);
    return 0;
}

}  // namespace

void ArmExitWatchdog(DWORD ms) {
    g_mainThread = ::GetCurrentThreadId();
    g_watchMs = ms;
    HANDLE thread = ::CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr);
    if (!thread) return;
    // A busy machine must not starve the one thread that can tell us why.
    ::SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL);
    ::CloseHandle(thread);
}

}  // namespace qvtest
