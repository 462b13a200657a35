#include "app/QvDumpWork.h"

#include <dbghelp.h>

#include <cwchar>

#include "ui/QvApp.h"
#include "app/QvReport.h"
#include "base/QvScoped.h"
#include "base/QvSystemDll.h"
#include "ui/QvMsgBox.h"

namespace {

bool HoldsDumpSignature(HANDLE file) {
    LARGE_INTEGER zero{};
    char signature[4] = {};
    DWORD got = 0;
    return ::SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) &&
           ::ReadFile(file, signature, sizeof(signature), &got, nullptr) &&
           got == sizeof(signature) && signature[0] == 'M' && signature[1] == 'D' &&
           signature[2] == 'M' && signature[3] == 'P';
}

constexpr int kCrashPicture = 60061;  // "the program met a problem and will close"
constexpr int kCountdownSeconds = 5;
constexpr int kNoticeWidth = 300;
constexpr int kNoticeHeight = 200;

// dbghelp's view of this process for one dump. Given none, Wine's dbghelp
// makes its own and first reads the debug information of every loaded
// module, which takes it half a minute; with loads deferred the dump takes
// a second. Windows does not need it and is not slowed by it.
class SymbolSession {
public:
    explicit SymbolSession(HANDLE process)
        : process_(process),
          cleanup_(qv::SystemFn<decltype(&::SymCleanup)>(L"dbghelp.dll", "SymCleanup")) {
        auto setOptions =
            qv::SystemFn<decltype(&::SymSetOptions)>(L"dbghelp.dll", "SymSetOptions");
        auto initialize =
            qv::SystemFn<decltype(&::SymInitializeW)>(L"dbghelp.dll", "SymInitializeW");
        if (setOptions) setOptions(SYMOPT_DEFERRED_LOADS | SYMOPT_FAIL_CRITICAL_ERRORS);
        open_ = initialize && cleanup_ && initialize(process, nullptr, FALSE);
    }
    ~SymbolSession() {
        if (open_) cleanup_(process_);
    }
    SymbolSession(const SymbolSession&) = delete;
    SymbolSession& operator=(const SymbolSession&) = delete;

private:
    HANDLE process_;
    decltype(&::SymCleanup) cleanup_;
    bool open_ = false;
};

void SendCrashReport(const wchar_t* reportType) {
    if (!reportType) return;
    wchar_t url[200];
    GetCrashUrl(url);
    DoReport(url, reportType, L"");
}

void ShowCrashNotice(const tagCrashInfo& crash) {
    CQvApp& app = CQvApp::Instance();
    HWND owner = app.mainWnd;
    if (owner && !::IsWindow(owner)) owner = nullptr;
    // Disabling a window waits for its thread to answer: a faulting thread
    // that cannot serve messages must not own the notice.
    if (owner && !crash.threadServesSends &&
        ::GetWindowThreadProcessId(owner, nullptr) == crash.threadId)
        owner = nullptr;
    CQvMsgBox box;
    box.iconImageId = kCrashPicture;
    box.ShowMsg(owner, nullptr, app.appName, QV_MSGBOX_OK, kCountdownSeconds, kNoticeWidth,
                kNoticeHeight, QV_EFFECT_ZOOM_IN, QV_EFFECT_SWELL_VANISH);
}

}  // namespace

bool WriteCrashDump(const tagCrashInfo& crash) {
    wchar_t program[MAX_PATH];
    DWORD len = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (len == 0 || len >= MAX_PATH) return false;
    wchar_t path[MAX_PATH + 16];
    std::swprintf(path, MAX_PATH + 16, L"%ls_%d.dmp", program, static_cast<int>(::GetTickCount()));

    // Only the system's copy: the program may run elevated from a folder
    // that others can write to, where a planted dbghelp.dll must not load.
    auto write =
        qv::SystemFn<decltype(&::MiniDumpWriteDump)>(L"dbghelp.dll", "MiniDumpWriteDump");
    if (!write) return false;
    qv::ScopedHandle process(
        ::OpenProcess(PROCESS_ALL_ACCESS, FALSE, ::GetCurrentProcessId()));
    if (!process) return false;
    SymbolSession symbols(process.get());
    qv::ScopedFile file = CreateDumpFile(path);
    if (!file) return false;
    // The pointers are addresses in the dumped process, which is this one.
    MINIDUMP_EXCEPTION_INFORMATION exception{crash.threadId, crash.exception, TRUE};
    BOOL ok = write(process.get(), ::GetCurrentProcessId(), file.get(), MiniDumpNormal,
                    crash.exception ? &exception : nullptr, nullptr, nullptr);
    // Wine's writer reports success though the file system took none of the
    // bytes (a full disk): trust only a file that begins like a dump.
    if (ok) ok = HoldsDumpSignature(file.get());
    file.reset();
    if (!ok) ::DeleteFileW(path);  // a cut-off dump would only mislead
    return ok != FALSE;
}

qv::ScopedFile CreateDumpFile(const wchar_t* path) {
    // A new file only: the folder may be one a standard user can write, and
    // a link (or a file) prepared under the dump's name must be neither
    // followed nor overwritten by an elevated program.
    return qv::ScopedFile(::CreateFileW(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                        CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
}

void HandleCrash(const tagCrashInfo& crash, const wchar_t* reportType) {
    SendCrashReport(reportType);
    WriteCrashDump(crash);
    ShowCrashNotice(crash);
}
