#include <windows.h>

#include <cstdlib>

#include "app/MainDlg.h"
#include "ui/QvApp.h"
#include "app/QvDump.h"
#include "base/QvSystemDll.h"
#include "ui/QvThread.h"

namespace {

constexpr wchar_t kAppName[] = L"塔洛软件-卸载程序";
constexpr wchar_t kDumpReportType[] = L"tl_uninstall_dump";
constexpr int kWidth = 450;
constexpr int kHeight = 230;

}  // namespace

// An exception that nobody catches ends the program here. The runtime's
// own handler would first print the exception's type, which a program
// without a console cannot show, and for that it links the C++ name
// demangler: a fifteenth of the program.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    // Before any DLL is loaded by name: the program runs elevated from a
    // folder that may not be the administrators' alone.
    qv::RestrictDllSearch();
    CQvApp& app = CQvApp::Instance();
    app.SetAppName(kAppName);
    // Before anything else can fault: a crash from here on is reported,
    // dumped and shown.
    InstallDump(kAppName, kDumpReportType);

    CMainDlg dlg;
    // Elevated, the program takes no order from a data file that others
    // could have written: it says so and ends with nothing changed.
    if (dlg.dataSource == UninstallSource::Untrusted) {
        CMainDlg::ShowUntrustedNotice();
        CQvThread::Instance().Stop();
        return 1;  // not a success: nothing was uninstalled
    }
    // Without a window there is nothing for the user to answer: end at once
    // rather than run a message loop nobody can stop.
    if (!dlg.Create(0, 0, kWidth, kHeight, 0, true, nullptr, 0)) return 1;
    // Centred, sliding in from the left edge; the effect runs on a worker
    // while this thread pumps messages.
    dlg.ShowDlg(QV_EFFECT_SLIDE_IN, true, SW_SHOW);
    app.mainWnd = dlg.hwnd;
    // Closing and cancelling end the process from inside the loop, and so
    // does the self-deletion at the end of the uninstall.
    app.MsgLoop();
    return 0;
}
