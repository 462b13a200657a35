#include <windows.h>

#include "app/QvApp.h"
#include "base/QvScoped.h"
#include "ui/QvDC.h"
#include "ui/QvWin.h"

namespace {

constexpr wchar_t kAppName[] = L"塔洛软件-卸载程序";
constexpr int kWidth = 450;
constexpr int kHeight = 230;

// Start-up window until the skinned main dialog takes its place: a plain
// card drawn through the memory DC and presented with per-pixel alpha.
class CStartWin : public CQvWin {
public:
    void Paint(HDC) override {
        qv::ScopedWindowDC wndDC(hwnd);
        RECT rc{0, 0, width, height};
        CQvDC mem(wndDC.get(), rc, false, true, hwnd);
        qv::ScopedBrush card(::CreateSolidBrush(RGB(250, 248, 243)));
        ::FillRect(mem.memDC, &rc, card.get());
        RECT band{0, 0, width, 36};
        qv::ScopedBrush blue(::CreateSolidBrush(RGB(46, 110, 186)));
        ::FillRect(mem.memDC, &band, blue.get());
        ::SetBkMode(mem.memDC, TRANSPARENT);
        ::SetTextColor(mem.memDC, RGB(255, 255, 255));
        RECT title{12, 0, width, 36};
        ::DrawTextW(mem.memDC, kAppName, -1, &title, DT_SINGLELINE | DT_VCENTER);
        OpaqueAlpha(mem.bitmap);
        mem.Draw();
    }

    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_CLOSE) CQvApp::Instance().ExitApp();
        return CQvWin::WndProc(wnd, msg, wParam, lParam);
    }

private:
    // GDI leaves the alpha bytes at zero; a layered window would show nothing.
    static void OpaqueAlpha(HBITMAP bitmap) {
        DIBSECTION dib{};
        if (!::GetObjectW(bitmap, sizeof(dib), &dib) || !dib.dsBm.bmBits) return;
        auto* px = static_cast<DWORD*>(dib.dsBm.bmBits);
        for (LONG i = 0, n = dib.dsBm.bmWidth * dib.dsBm.bmHeight; i < n; ++i) px[i] |= 0xFF000000;
    }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    CQvApp& app = CQvApp::Instance();
    app.SetAppName(kAppName);

    CStartWin win;
    int sx = (::GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    int sy = (::GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    // Without a window there is nothing for the user to answer: end at once
    // rather than run a message loop nobody can stop.
    if (!win.Create(sx, sy, kWidth, kHeight, 0, true, nullptr, 0)) return 1;
    win.Show(true);
    app.mainWnd = win.hwnd;
    app.MsgLoop();
    return 0;
}
