#include "ui/QvWin.h"

#include <cwchar>

#include "ui/QvApp.h"
#include "base/QvScoped.h"
#include "ui/QvDC.h"

LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* win = reinterpret_cast<CQvWin*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!win) return ::DefWindowProcW(wnd, msg, wParam, lParam);
    if (msg == WM_WINDOWPOSCHANGED && lParam &&
        (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW))
        CQvDC::NoteWindowShown(wnd);
    return win->WndProc(wnd, msg, wParam, lParam);
}

CQvWin::CQvWin() = default;

CQvWin::~CQvWin() {
    DestroyOwnWindow();
}

void CQvWin::DestroyOwnWindow() {
    if (!hwnd) return;
    ::DestroyWindow(hwnd);
    hwnd = nullptr;
    ::UnregisterClassW(className.c_str(), CQvApp::Instance().hInstance);
}

void CQvWin::RegisterWndClass() {
    CQvApp& app = CQvApp::Instance();
    wchar_t name[256];
    std::swprintf(name, 256, L"%ls_QVWND_%d", app.appName, static_cast<int>(::GetTickCount()));
    className = name;

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = app.hInstance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = className.c_str();
    if (iconId) {
        wc.hIcon = ::LoadIconW(app.hInstance, MAKEINTRESOURCEW(iconId));
        wc.hIconSm = wc.hIcon;
    }
    // Two windows registered in the same millisecond share a name: the
    // second registration fails and the window uses the first class, whose
    // procedure is the same. Nothing to handle.
    ::RegisterClassExW(&wc);
}

bool CQvWin::Create(int left, int top, int w, int h, DWORD exStyle, bool isLayered, HWND parent,
                    DWORD style) {
    DestroyOwnWindow();
    x = left;
    y = top;
    width = w;
    height = h;
    RegisterWndClass();
    if (style == 0) {
        style = parent ? (WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN)
                       : (WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_MINIMIZEBOX);
    }
    ownerWnd = parent;
    CQvApp& app = CQvApp::Instance();
    hwnd = ::CreateWindowExW(0, className.c_str(), app.appName, style, left, top, w, h, parent,
                             nullptr, app.hInstance, nullptr);
    if (!hwnd) return false;
    if (style & WS_CHILD) isChild = true;
    if (exStyle) ::SetWindowLongW(hwnd, GWL_EXSTYLE, static_cast<LONG>(exStyle));
    // Messages sent during CreateWindowExW reach DefWindowProcW: the object
    // is tied to the window only from here on.
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    layered = isLayered;
    if (layered) {
        LONG ex = ::GetWindowLongW(hwnd, GWL_EXSTYLE);
        ::SetWindowLongW(hwnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
    }
    if (!initDone) {
        OnInit();
        initDone = true;
    }
    SetupControls();
    // A layered window shows nothing until its first UpdateLayeredWindow.
    if (layered) ::PostMessageW(hwnd, WM_PAINT, 0, 0);
    return true;
}

void CQvWin::Show(bool show) {
    visible = show;
    ::ShowWindow(hwnd, show ? SW_SHOW : SW_HIDE);
}

void CQvWin::Paint(HDC) {}
void CQvWin::OnInit() {}
void CQvWin::SetupControls() {}

LRESULT CQvWin::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (wnd != hwnd || msg != WM_PAINT) return ::DefWindowProcW(wnd, msg, wParam, lParam);
    qv::ScopedPaint paint(wnd);
    Paint(paint.get());
    return 0;
}

void CQvWin::Redraw() {
    if (layered) {
        ::PostMessageW(hwnd, WM_PAINT, 0, 0);
        return;
    }
    qv::ScopedWindowDC dc(hwnd);
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    CQvDC mem(dc.get(), rc, false, false, nullptr);
    Paint(mem.memDC);
    mem.Draw();
}
