// Window base, memory DC and application object.
#include <gtest/gtest.h>

#include <cwchar>
#include <regex>
#include <string>

#include "ui/QvApp.h"
#include "support/TestUtil.h"
#include "ui/QvDC.h"
#include "ui/QvWin.h"

namespace {

class CountingWin : public CQvWin {
public:
    void OnInit() override { ++inits; }
    void SetupControls() override { ++setups; }
    void Paint(HDC dc) override {
        ++paints;
        RECT rc{0, 0, width, height};
        HBRUSH b = ::CreateSolidBrush(RGB(10, 200, 30));
        ::FillRect(dc, &rc, b);
        ::DeleteObject(b);
    }
    int inits = 0, setups = 0, paints = 0;
};

struct AppNamed {
    AppNamed() { CQvApp::Instance().SetAppName(L"QvTest"); }
};
const AppNamed named;

}  // namespace

TEST(Window, ClassNameFollowsFormatAndRecreateReplacesWindow) {
    CountingWin win;
    ASSERT_TRUE(win.Create(10, 20, 120, 80, 0, false, nullptr, 0));
    EXPECT_TRUE(std::regex_match(win.className, std::wregex(L"QvTest_QVWND_-?[0-9]+")));
    EXPECT_EQ(1, win.inits);
    EXPECT_EQ(1, win.setups);
    EXPECT_FALSE(win.isChild);
    EXPECT_FALSE(::GetWindowLongW(win.hwnd, GWL_STYLE) & WS_VISIBLE);
    wchar_t title[64] = {};
    ::GetWindowTextW(win.hwnd, title, 64);
    EXPECT_STREQ(L"QvTest", title);

    HWND first = win.hwnd;
    std::wstring firstClass = win.className;
    // A new tick, so a new class name.
    auto nameNow = [] {
        return L"QvTest_QVWND_" + std::to_wstring(static_cast<int>(::GetTickCount()));
    };
    ASSERT_TRUE(qvtest::PumpUntil([&] { return nameNow() != firstClass; }, 1000));
    ASSERT_TRUE(win.Create(0, 0, 50, 50, 0, false, nullptr, 0));
    EXPECT_FALSE(::IsWindow(first));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    EXPECT_FALSE(::GetClassInfoExW(CQvApp::Instance().hInstance, firstClass.c_str(), &wc))
        << "the first window's class must be unregistered";
    EXPECT_EQ(1, win.inits) << "OnInit runs only after the first Create";
    EXPECT_EQ(2, win.setups);
}

TEST(Window, ExtendedStyleIsReplacedAndLayeredAddedAfter) {
    CountingWin win;
    ASSERT_TRUE(win.Create(0, 0, 60, 40, WS_EX_TOOLWINDOW, true, nullptr, 0));
    LONG ex = ::GetWindowLongW(win.hwnd, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(ex & WS_EX_LAYERED);
    EXPECT_FALSE(ex & WS_EX_WINDOWEDGE);
    EXPECT_TRUE(win.layered);
    // Create posted the first WM_PAINT for the layered window.
    EXPECT_TRUE(qvtest::PumpUntil([&] { return win.paints > 0; }, 2000));
}

TEST(Window, ChildWindowIsVisibleAndMarked) {
    CountingWin parent;
    ASSERT_TRUE(parent.Create(0, 0, 200, 200, 0, false, nullptr, 0));
    CountingWin child;
    ASSERT_TRUE(child.Create(5, 5, 50, 50, 0, false, parent.hwnd, 0));
    EXPECT_TRUE(child.isChild);
    EXPECT_EQ(parent.hwnd, child.ownerWnd);
    EXPECT_TRUE(::GetWindowLongW(child.hwnd, GWL_STYLE) & WS_VISIBLE);
}

TEST(Window, PaintMessageReachesObject) {
    CountingWin win;
    ASSERT_TRUE(win.Create(0, 0, 60, 40, 0, false, nullptr, 0));
    win.Show(true);
    EXPECT_TRUE(win.visible);
    ::InvalidateRect(win.hwnd, nullptr, FALSE);
    EXPECT_TRUE(qvtest::PumpUntil([&] { return win.paints > 0; }, 2000));
}

namespace {

// Counts presentations by resetting the target pixel after an explicit
// Draw and looking again once the buffer is gone.
int CountPresents(bool explicitDraw) {
    HDC screen = ::GetDC(nullptr);
    HDC target = ::CreateCompatibleDC(screen);
    HBITMAP targetBmp = ::CreateCompatibleBitmap(screen, 8, 8);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(target, targetBmp);
    ::SetPixel(target, 3, 3, RGB(0, 0, 0));
    int presents = 0;
    {
        RECT rc{2, 2, 6, 6};
        CQvDC dc(target, rc, true, false, nullptr);
        // The memory DC's (1,1) lands on the target's (3,3).
        ::SetPixel(dc.memDC, 1, 1, RGB(200, 0, 0));
        if (explicitDraw) {
            dc.Draw();
            if (::GetPixel(target, 3, 3) == RGB(200, 0, 0)) ++presents;
            ::SetPixel(target, 3, 3, RGB(0, 0, 0));
        }
    }
    if (::GetPixel(target, 3, 3) == RGB(200, 0, 0)) ++presents;
    ::SelectObject(target, old);
    ::DeleteObject(targetBmp);
    ::DeleteDC(target);
    return presents;
}

}  // namespace

TEST(MemoryDC, PresentsOnDestroyExactlyOnce) {
    EXPECT_EQ(1, CountPresents(false));
    EXPECT_EQ(1, CountPresents(true)) << "an explicit Draw must cancel the present on destroy";
}

TEST(MemoryDC, DefaultConstructedReleasesNothing) {
    CQvDC dc;
    EXPECT_EQ(nullptr, dc.memDC);
    EXPECT_EQ(nullptr, dc.bitmap);
}

TEST(MemoryDC, LayeredBufferIs32BitBottomUpDib) {
    HDC screen = ::GetDC(nullptr);
    RECT rc{100, 100, 130, 120};
    CQvDC dc(screen, rc, false, true, nullptr);
    DIBSECTION dib{};
    ASSERT_EQ(static_cast<int>(sizeof(dib)), ::GetObjectW(dc.bitmap, sizeof(dib), &dib));
    EXPECT_EQ(30, dib.dsBmih.biWidth);
    EXPECT_EQ(20, dib.dsBmih.biHeight);
    EXPECT_EQ(32, dib.dsBmih.biBitCount);
    ::ReleaseDC(nullptr, screen);
}

TEST(App, DrawCaretTwiceRestoresPixels) {
    CountingWin win;
    ASSERT_TRUE(win.Create(0, 0, 80, 60, 0, false, nullptr, 0));
    win.Show(true);
    ASSERT_TRUE(qvtest::WaitPainted(win.hwnd));
    CQvApp& app = CQvApp::Instance();
    app.caretX = 10;
    app.caretY = 5;
    app.caretHeight = 20;
    qvtest::Pixels before = qvtest::ReadWindow(win.hwnd);
    app.DrawCaret(win.hwnd);
    qvtest::Pixels drawn = qvtest::ReadWindow(win.hwnd);
    app.DrawCaret(win.hwnd);
    qvtest::Pixels after = qvtest::ReadWindow(win.hwnd);
    EXPECT_NE(before.at(10, 10), drawn.at(10, 10)) << "the caret must be visible";
    EXPECT_EQ(before.px, after.px);
}

QV_CHILD(exit_app) {
    CQvApp::Instance().ExitApp();
    return 7;  // never reached
}

TEST(App, ExitAppEndsProcessWithCodeZero) {
    EXPECT_EQ(0, qvtest::RunChild("exit_app"));
}

TEST(App, CurPathEndsWithBackslash) {
    const wchar_t* path = CQvApp::Instance().curPath;
    size_t n = std::wcslen(path);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(L'\\', path[n - 1]);
    EXPECT_EQ(0, _wcsnicmp(path, qvtest::SelfPath().c_str(), n));
}
