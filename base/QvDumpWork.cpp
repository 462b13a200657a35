#include "base/QvDumpWork.h"

#include <dbghelp.h>

#include <cwchar>

#include "app/QvApp.h"
#include "app/QvReport.h"
#include "base/QvScoped.h"
#include "ui/QvMsgBox.h"

namespace {

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);

constexpr int kCrashPicture = 60061;  // "the program met a problem and will close"
constexpr int kCountdownSeconds = 5;
constexpr int kNoticeWidth = 300;
constexpr int kNoticeHeight = 200;

// Only the system's copy: the program may run elevated from a folder that
// others can write to, where a planted dbghelp.dll must not be loaded.
qv::ScopedModule LoadSystemDbgHelp() {
    wchar_t path[MAX_PATH];
    UINT len = ::GetSystemDirectoryW(path, MAX_PATH);
    if (len == 0 || len + 13 >= MAX_PATH) return qv::ScopedModule();
    std::wcscpy(path + len, L"\\dbghelp.dll");
    return qv::ScopedModule(::LoadLibraryW(path));
}

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

    qv::ScopedModule dbghelp = LoadSystemDbgHelp();
    auto write = reinterpret_cast<MiniDumpWriteDumpFn>(reinterpret_cast<void*>(
        dbghelp ? ::GetProcAddress(dbghelp.get(), "MiniDumpWriteDump") : nullptr));
    if (!write) return false;
    qv::ScopedHandle process(
        ::OpenProcess(PROCESS_ALL_ACCESS, FALSE, ::GetCurrentProcessId()));
    if (!process) return false;
    qv::ScopedFile file(::CreateFileW(path, GENERIC_ALL, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    // The pointers are addresses in the dumped process, which is this one.
    MINIDUMP_EXCEPTION_INFORMATION exception{crash.threadId, crash.exception, TRUE};
    BOOL ok = write(process.get(), ::GetCurrentProcessId(), file.get(), MiniDumpNormal,
                    crash.exception ? &exception : nullptr, nullptr, nullptr);
    file.reset();
    if (!ok) ::DeleteFileW(path);  // a cut-off dump would only mislead
    return ok != FALSE;
}

void HandleCrash(const tagCrashInfo& crash, const wchar_t* reportType) {
    SendCrashReport(reportType);
    WriteCrashDump(crash);
    ShowCrashNotice(crash);
}
