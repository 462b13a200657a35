// Sending a layered dialog only what changed, controls that keep what they
// drew, and system functions loaded from the system folder only.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/QvSystemDll.h"
#include "support/TestUtil.h"
#include "ui/QvButton.h"
#include "ui/QvDlg.h"
#include "ui/QvFrameDiff.h"
#include "ui/QvPaintCache.h"

namespace {

using qvtest::Pixels;

// A 32-bit DIB section selected into a memory DC, filled with one colour.
struct Dib {
    Dib(int w, int h, DWORD fill, bool bottomUp = true) : width(w), height(h) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = bottomUp ? h : -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bitmap = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits),
                                    nullptr, 0);
        dc = ::CreateCompatibleDC(nullptr);
        old = ::SelectObject(dc, bitmap);
        for (int i = 0; i < w * h; ++i) bits[i] = fill;
        rowsUp = bottomUp;
    }
    ~Dib() {
        ::SelectObject(dc, old);
        ::DeleteDC(dc);
        ::DeleteObject(bitmap);
    }
    DWORD& at(int x, int y) { return bits[(rowsUp ? height - 1 - y : y) * width + x]; }

    int width, height;
    bool rowsUp;
    HBITMAP bitmap = nullptr;
    HDC dc = nullptr;
    HGDIOBJ old = nullptr;
    DWORD* bits = nullptr;
};

// What the screen shows where the window is (a layered window's own DC
// does not give back what it was sent).
Pixels ReadScreen(HWND wnd) {
    RECT wr{};
    ::GetWindowRect(wnd, &wr);
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, wr.left, wr.top, SRCCOPY);
    ::SelectObject(mem, old);
    Pixels out = qvtest::ReadBitmap(bmp);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return out;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

TEST(ChangedRect, FindsTheBoundsOfWhatDiffersInTopDownCoordinates) {
    for (bool bottomUp : {true, false}) {
        Dib now(40, 30, 0xFF102030, bottomUp), before(40, 30, 0xFF102030, bottomUp);
        RECT r{};
        EXPECT_FALSE(qv::ChangedRect(now.dc, before.dc, &r));
        now.at(7, 3) = 0xFFFFFFFF;
        ASSERT_TRUE(qv::ChangedRect(now.dc, before.dc, &r));
        EXPECT_TRUE(SameRect(RECT{7, 3, 8, 4}, r)) << bottomUp << ": " << r.left << "," << r.top;
        now.at(39, 29) = 0;  // the last pixel: the bounds reach the edges
        ASSERT_TRUE(qv::ChangedRect(now.dc, before.dc, &r));
        EXPECT_TRUE(SameRect(RECT{7, 3, 40, 30}, r)) << bottomUp;
    }
    // Rows stored in either order are compared as the pictures they hold.
    Dib up(40, 30, 0xFF102030), down(40, 30, 0xFF102030, false);
    RECT r{};
    EXPECT_FALSE(qv::ChangedRect(up.dc, down.dc, &r));
    down.at(5, 1) = 0;
    ASSERT_TRUE(qv::ChangedRect(up.dc, down.dc, &r));
    EXPECT_TRUE(SameRect(RECT{5, 1, 6, 2}, r));
}

TEST(ChangedRect, FramesThatCannotBeComparedChangedWhole) {
    Dib now(40, 30, 0), smaller(20, 30, 0);
    RECT r{};
    EXPECT_TRUE(qv::ChangedRect(now.dc, smaller.dc, &r));
    EXPECT_TRUE(SameRect(RECT{0, 0, 40, 30}, r));
    EXPECT_TRUE(qv::ChangedRect(now.dc, nullptr, &r));
    EXPECT_TRUE(SameRect(RECT{0, 0, 40, 30}, r));
    EXPECT_FALSE(qv::ChangedRect(nullptr, now.dc, &r));
}

TEST(PaintCache, CopiesALookOnlyOverTheSamePixels) {
    qv::PaintCache cache;
    int draws = 0;
    RECT area{4, 4, 12, 10};
    auto draw = [&](HDC dc) {
        ++draws;
        RECT fill{5, 5, 11, 9};
        HBRUSH brush = ::CreateSolidBrush(RGB(200, 10, 10));
        ::FillRect(dc, &fill, brush);
        ::DeleteObject(brush);
    };
    Dib a(20, 20, 0xFF000000);
    cache.Paint(a.dc, area, L"red", draw);
    ASSERT_EQ(1, draws);
    const DWORD drawn = a.at(6, 6);

    Dib b(20, 20, 0xFF000000);
    cache.Paint(b.dc, area, L"red", draw);
    EXPECT_EQ(1, draws) << "the same look over the same pixels is copied";
    EXPECT_EQ(drawn, b.at(6, 6));
    EXPECT_EQ(0xFF000000u, b.at(4, 4));
    EXPECT_EQ(0xFF000000u, b.at(12, 12)) << "nothing outside the area is written";

    Dib c(20, 20, 0xFF000000);
    c.at(4, 9) = 0xFF0000FF;  // other pixels beneath
    cache.Paint(c.dc, area, L"red", draw);
    EXPECT_EQ(2, draws);
    cache.Paint(c.dc, area, L"blue", draw);
    EXPECT_EQ(3, draws) << "another look is drawn";

    Dib d(20, 20, 0xFF000000);
    HRGN clip = ::CreateRectRgn(0, 0, 6, 6);
    ::SelectClipRgn(d.dc, clip);
    ::DeleteObject(clip);
    cache.Paint(d.dc, area, L"red", draw);
    EXPECT_EQ(4, draws) << "a clipped DC is always drawn into";
    EXPECT_EQ(0xFF000000u, d.at(8, 8));
}

TEST(LayeredPaint, TheWindowShowsEveryFrameWhenOnlyChangesAreSent) {
    CQvDlg dlg;
    dlg.bgImageId = 0;
    dlg.bgColor = RGB(240, 240, 240);
    dlg.roundCorners = false;
    CQvButton button(L"按钮", 20);
    dlg.controls = {&button};
    // Read back from the screen: kept above, and away from where other
    // tests running beside this one put their windows.
    ASSERT_TRUE(dlg.Create(1000, 760, 200, 220, 0, true, nullptr, 0));
    ::SetWindowPos(dlg.hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    dlg.ShowDlg(QV_EFFECT_NONE, false, SW_SHOWNA);
    ::SendMessageW(dlg.hwnd, WM_PAINT, 0, 0);
    Pixels before = qvtest::ReadBitmap(dlg.frameLayer.bitmap);
    bool changed = false;
    for (int state : {QV_BTN_HOVER, QV_BTN_NORMAL, QV_BTN_PRESSED, QV_BTN_HOVER}) {
        button.state = state;
        ::SendMessageW(dlg.hwnd, WM_PAINT, 0, 0);
        Pixels composed = qvtest::ReadBitmap(dlg.frameLayer.bitmap);
        changed = changed || composed.px != before.px;
        before = composed;
        Pixels shown = ReadScreen(dlg.hwnd);
        ASSERT_EQ(composed.width, shown.width);
        ASSERT_EQ(composed.height, shown.height);
        int wrong = 0;
        for (int y = 0; y < shown.height; ++y)
            for (int x = 0; x < shown.width; ++x)
                if ((shown.at(x, y) & 0xFFFFFF) != (composed.at(x, y) & 0xFFFFFF)) ++wrong;
        EXPECT_EQ(0, wrong) << "state " << state;
    }
    EXPECT_TRUE(changed) << "the button's states must look different";
}

TEST(SystemDll, LoadsFromTheSystemFolderByBareNameOnly) {
    auto size = qv::SystemFn<decltype(&::GetFileVersionInfoSizeW)>(L"version.dll",
                                                                    "GetFileVersionInfoSizeW");
    ASSERT_NE(nullptr, size);
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    DWORD ignored = 0;
    EXPECT_GT(size((std::wstring(system) + L"\\kernel32.dll").c_str(), &ignored), 0u);
    EXPECT_EQ(nullptr, qv::SystemProc(L"version.dll", "NoSuchFunction"));
    EXPECT_EQ(nullptr, qv::SystemProc(L"no-such-library.dll", "F"));
    EXPECT_EQ(nullptr, qv::SystemProc(L"..\\system32\\version.dll", "GetFileVersionInfoSizeW"));
    EXPECT_EQ(nullptr, qv::SystemProc(L"C:version.dll", "GetFileVersionInfoSizeW"));
    EXPECT_EQ(nullptr, qv::SystemProc(L"", "GetFileVersionInfoSizeW"));
}
