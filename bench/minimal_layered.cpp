// The peer for start-up: a layered window of the uninstaller's size that
// presents one opaque frame as soon as it exists, signals the event named
// by QV_FIRST_FRAME_EVENT (as the uninstaller does) and waits to be closed.
#include <windows.h>

namespace {

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(wnd, msg, wp, lp);
}

void SignalFirstFrame() {
    wchar_t name[64];
    DWORD n = ::GetEnvironmentVariableW(L"QV_FIRST_FRAME_EVENT", name, 64);
    if (n == 0 || n >= 64) return;
    HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
    if (!event) return;
    ::SetEvent(event);
    ::CloseHandle(event);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, LPWSTR, int) {
    const int w = 450, h = 230;
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = inst;
    wc.lpszClassName = L"QvBenchLayered";
    ::RegisterClassW(&wc);
    int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    HWND wnd = ::CreateWindowExW(WS_EX_LAYERED, wc.lpszClassName, L"QvBenchLayered", WS_POPUP,
                                 x, y, w, h, nullptr, nullptr, inst, nullptr);
    if (!wnd) return 1;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    auto* px = static_cast<DWORD*>(bits);
    for (int i = 0; i < w * h; ++i) px[i] = 0xFFF0E8D8;
    POINT dst{x, y}, src{0, 0};
    SIZE size{w, h};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::ShowWindow(wnd, SW_SHOWNA);
    ::UpdateLayeredWindow(wnd, screen, &dst, &size, mem, &src, 0, &blend, ULW_ALPHA);
    SignalFirstFrame();
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return 0;
}
