#include "ui/QvApp.h"

#include <cstdlib>
#include <cwchar>

#include "base/QvScoped.h"
#include "base/QvUtil.h"
#include "ui/QvThread.h"

CQvApp& CQvApp::Instance() {
    static CQvApp app;
    return app;
}

CQvApp::CQvApp() : hInstance(::GetModuleHandleW(nullptr)) {
    GetCurPath(curPath);
    appName[0] = L'\0';  // so a window created before naming has an empty title, not garbage
}

CQvApp::~CQvApp() = default;
CQvApp::CQvApp(const CQvApp&) = default;
CQvApp& CQvApp::operator=(const CQvApp&) = default;

void CQvApp::SetAppName(const wchar_t* name) {
    if (!name) return;
    std::wcsncpy(appName, name, 199);
    appName[199] = L'\0';
}

int CQvApp::MsgLoop() {
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void CQvApp::DrawCaret(HWND wnd) {
    qv::ScopedWindowDC dc(wnd);
    if (!dc) return;
    qv::ScopedPen pen(::CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
    qv::ScopedSelect select(dc.get(), pen.get());
    // NOTXOR with black inverts the pixels, so a second identical call
    // restores them: that is how the caret blinks and is erased.
    int oldMode = ::SetROP2(dc.get(), R2_NOTXORPEN);
    ::MoveToEx(dc.get(), caretX, caretY, nullptr);
    ::LineTo(dc.get(), caretX, caretY + caretHeight);
    ::SetROP2(dc.get(), oldMode);
}

void CQvApp::ExitApp() {
    // Timer threads call into objects that the runtime's exit is about to
    // destroy: end them first.
    CQvThread::Instance().Stop();
    exiting = true;
    ::PostQuitMessage(0);
    // The runtime's exit runs the destructors of the framework singletons;
    // nothing of the caller runs after this.
    std::exit(0);
}
