// A dialog moved to a screen of another DPI: its window grows, its layout
// (in pixels at 96 DPI) is drawn at the new size, and the mouse and the
// focus mark land where the controls are drawn.
#include <gtest/gtest.h>

#include "app/QvApp.h"
#include "support/ImageFixtures.h"
#include "support/TestUtil.h"
#include "ui/QvButton.h"
#include "ui/QvDlg.h"
#include "ui/QvDpi.h"

using namespace qvtest;

namespace {

struct AppNamed {
    AppNamed() { CQvApp::Instance().SetAppName(L"QvDpiTest"); }
};
const AppNamed named;

class OneButton : public CQvDlg {
public:
    void OnInit() override {
        bgImageId = 0;
        bgColor = RGB(255, 255, 255);
        CQvDlg::OnInit();
        button.Init(L"确 定", 20, 60, 69, 21, 2, 1, hwnd, nullptr);
        button.onClick = [](void* self) { ++static_cast<OneButton*>(self)->clicks; };
        controls.push_back(&button);
    }
    void Click(int px, int py) {
        ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(px, py));
        ::SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(px, py));
    }
    CQvButton button;
    int clicks = 0;
};

// Dots of the focus mark along one device row of a painted frame.
int DotsInRow(OneButton& dlg, int w, int h, int row, int from, int to) {
    Canvas canvas(w, h, 0xFFFFFFFF);
    dlg.Paint(canvas.dc());
    int dots = 0;
    for (int x = from; x < to; ++x)
        if (canvas.rgb(x, row) == 0x303030) ++dots;
    return dots;
}

}  // namespace

TEST(DlgDpi, MovedTo150PercentTheDialogGrowsAndAnswersWhereItDraws) {
    OneButton dlg;
    ASSERT_TRUE(dlg.Create(0, 0, 300, 160, 0, false, nullptr, WS_POPUP));
    const UINT before = dlg.dpi;
    if (before != 96) GTEST_SKIP() << "the test display is not at 96 DPI";
    RECT suggested{10, 20, 10 + 450, 20 + 240};
    ::SendMessageW(dlg.hwnd, WM_DPICHANGED, MAKEWPARAM(144, 144),
                   reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(144u, dlg.dpi);
    EXPECT_EQ(144u, dlg.button.dpi);
    RECT client{};
    ::GetClientRect(dlg.hwnd, &client);
    EXPECT_EQ(450, client.right);
    EXPECT_EQ(240, client.bottom);
    EXPECT_EQ(300, dlg.LogicalClient().right) << "the layout keeps its units";
    EXPECT_EQ(20, dlg.button.x);

    // The button covers (30, 90)-(133, 121) on the device: a click there
    // presses it, one at its 96-DPI place inside the button's old box no
    // longer does.
    dlg.Click(QvScale(54, 144), QvScale(70, 144));
    EXPECT_EQ(1, dlg.clicks);
    dlg.Click(25, 65);
    EXPECT_EQ(1, dlg.clicks);

    // The focus mark is drawn in device pixels, three layout pixels inside.
    ASSERT_TRUE(dlg.SetFocusControl(&dlg.button, true));
    const int row = QvScale(60, 144) + QvScale(3, 144);
    EXPECT_GT(DotsInRow(dlg, 450, 240, row, QvScale(20, 144), QvScale(89, 144)), 30);
    EXPECT_EQ(0, DotsInRow(dlg, 450, 240, 60 + 3, 20, 89)) << "not at the 96-DPI place";
}
