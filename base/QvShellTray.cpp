// The notification-area icon of a window (identifier 0).
#include "base/QvShell.h"

#include <shellapi.h>

#include <cwchar>

namespace {

NOTIFYICONDATAW TrayData(HWND wnd, UINT flags) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = wnd;
    data.uID = 0;
    data.uFlags = flags;
    return data;
}

// Copies as much of `text` as fits, always terminated.
template <size_t N>
void CopyText(wchar_t (&to)[N], const wchar_t* text) {
    if (!text) text = L"";
    std::wcsncpy(to, text, N - 1);
    to[N - 1] = 0;
}

int Notify(DWORD message, NOTIFYICONDATAW& data) {
    if (!data.hWnd) return 0;
    return ::Shell_NotifyIconW(message, &data) ? 1 : 0;
}

}  // namespace

int ShowTray(HWND wnd, HICON icon, const wchar_t* tip, UINT message) {
    NOTIFYICONDATAW data = TrayData(wnd, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    data.uCallbackMessage = message;
    data.hIcon = icon;
    CopyText(data.szTip, tip);
    return Notify(NIM_ADD, data);
}

int SetIcon(HWND wnd, HICON icon) {
    NOTIFYICONDATAW data = TrayData(wnd, NIF_ICON);
    data.hIcon = icon;
    return Notify(NIM_MODIFY, data);
}

int SetTip(HWND wnd, const wchar_t* tip) {
    NOTIFYICONDATAW data = TrayData(wnd, NIF_TIP);
    CopyText(data.szTip, tip);
    return Notify(NIM_MODIFY, data);
}

int ShowBalloon(HWND wnd, const wchar_t* title, const wchar_t* text, int timeout) {
    NOTIFYICONDATAW data = TrayData(wnd, NIF_INFO);
    CopyText(data.szInfoTitle, title);
    CopyText(data.szInfo, text);
    data.uTimeout = timeout < 0 ? 0 : static_cast<UINT>(timeout);
    data.dwInfoFlags = NIIF_INFO;
    return Notify(NIM_MODIFY, data);
}

int DelTray(HWND wnd) {
    NOTIFYICONDATAW data = TrayData(wnd, 0);
    return Notify(NIM_DELETE, data);
}
