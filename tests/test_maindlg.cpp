// Main dialog: product name from the data file, its buttons, the question
// and progress frames, progress messages and the progress thread's steps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/MainDlg.h"
#include "ui/QvApp.h"
#include "base/QvScoped.h"
#include "support/TestUtil.h"
#include "ui/QvButton.h"
#include "ui/QvThread.h"

namespace {

struct AppNamed {
    AppNamed() { CQvApp::Instance().SetAppName(L"QvMainDlgTest"); }
};
const AppNamed named;

// Points the application's folder at a temporary one for one test, so the
// dialog reads the data file written there.
class ProgramFolder {
public:
    ProgramFolder() : saved_(CQvApp::Instance().curPath) {
        wcscpy(CQvApp::Instance().curPath, dir_.path().c_str());
    }
    ~ProgramFolder() { wcscpy(CQvApp::Instance().curPath, saved_.c_str()); }
    void WriteHeader(const wchar_t* name, size_t chars) {
        UninstallHeader h{};
        wmemcpy(h.productName, name, chars);
        ASSERT_TRUE(qvtest::WriteFileBytes(dir_ / L"qvUninstall.dat", &h, sizeof(h)));
    }

private:
    qvtest::TempDir dir_;
    std::wstring saved_;
};

// Draws background and content into a 32-bit buffer the way a frame does.
qvtest::Pixels Compose(CMainDlg& dlg) {
    qv::ScopedWindowDC wdc(dlg.hwnd);
    RECT rc{0, 0, 450, 230};
    CQvDC buffer(wdc.get(), rc, false, true, dlg.hwnd);
    dlg.DrawBackground(buffer.memDC, rc);
    dlg.DrawContent(buffer.memDC);
    return qvtest::ReadBitmap(buffer.bitmap);
}

bool IsInk(DWORD px) {  // the ink stroke is a dark blue-grey
    return (px >> 24) > 200 && (px & 0xFF) < 100 && ((px >> 16) & 0xFF) < 100;
}
bool IsEraserBlue(DWORD px) {
    return (px >> 24) > 200 && (px & 0xFF) > 150 && ((px >> 16) & 0xFF) < 120;
}

}  // namespace

TEST(MainDlg, ReadsProductNameFromDataFileHeader) {
    {
        ProgramFolder folder;
        folder.WriteHeader(L"塔洛浏览器", 5);
        CMainDlg dlg;
        EXPECT_EQ(L"塔洛浏览器", dlg.productName);
        EXPECT_EQ(0, dlg.mode);
        EXPECT_EQ(0, dlg.shownPercent);
        EXPECT_FALSE(dlg.engineDone);
    }
    {
        // A name that fills its field has no terminator: it must not run on.
        ProgramFolder folder;
        std::wstring full(50, L'名');
        folder.WriteHeader(full.c_str(), 50);
        CMainDlg dlg;
        EXPECT_EQ(full, dlg.productName);
    }
    {
        ProgramFolder folder;  // no data file at all
        CMainDlg dlg;
        EXPECT_TRUE(dlg.productName.empty());
        // Started again after its product went: it says so, and what the
        // button will still do, rather than ask about a nameless product.
        EXPECT_EQ(L"程序已卸载，删除卸载程序?", dlg.Question());
    }
    {
        ProgramFolder folder;
        folder.WriteHeader(L"塔洛看图", 4);
        CMainDlg dlg;
        EXPECT_EQ(L"您确定要卸载塔洛看图?", dlg.Question());
    }
}

TEST(MainDlg, InitCreatesBothButtonsAndDragsFromAnywhere) {
    ProgramFolder folder;
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create(0, 0, 450, 230, 0, true, nullptr, 0));
    EXPECT_TRUE(dlg.dragAnywhere);
    EXPECT_EQ(60052, dlg.bgImageId);
    // The question and the hint line come first, for screen readers only;
    // the progress is read out once the uninstall runs.
    ASSERT_EQ(5u, dlg.controls.size());
    ASSERT_EQ(dlg.cancelButton, dlg.controls[2]);
    ASSERT_EQ(dlg.uninstallButton, dlg.controls[3]);
    EXPECT_EQ(dlg.uninstallButton, dlg.defaultControl);
    EXPECT_EQ(dlg.cancelButton, dlg.cancelControl);
    EXPECT_EQ(dlg.uninstallButton, dlg.FocusedControl());
    EXPECT_FALSE(dlg.focusCues) << "no mark before a key is used";
    CQvButton reference(L"x", 0);
    struct {
        CQvButton* button;
        const wchar_t* caption;
        int x, image;
        void (*click)(void*);
    } expected[] = {{dlg.cancelButton, L"取 消", 325, 60073, CMainDlg::OnCancelClick},
                    {dlg.uninstallButton, L"卸 载", 255, 60074, CMainDlg::OnUninstallClick}};
    for (const auto& e : expected) {
        EXPECT_EQ(e.caption, e.button->caption);
        EXPECT_EQ(e.x, e.button->x);
        EXPECT_EQ(148, e.button->y);
        EXPECT_EQ(68, e.button->width);
        EXPECT_EQ(29, e.button->height);
        EXPECT_EQ(e.image, e.button->imageId);
        EXPECT_EQ(1, e.button->stateImages);
        EXPECT_EQ(3, e.button->frames);
        EXPECT_EQ(reference.textOffsetY - 2, e.button->textOffsetY);
        EXPECT_EQ(e.click, e.button->onClick);
        EXPECT_EQ(dlg.hwnd, e.button->ownerWnd);
        EXPECT_TRUE(e.button->layeredMode);
    }
}

TEST(MainDlg, QuestionFrameShowsCardTextAndButtons) {
    ProgramFolder folder;
    folder.WriteHeader(L"塔洛", 2);
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create(0, 0, 450, 230, 0, true, nullptr, 0));
    {
        qv::ScopedWindowDC wdc(dlg.hwnd);
        dlg.Paint(wdc.get());
    }
    qvtest::Pixels frame = qvtest::ReadBitmap(dlg.frameLayer.bitmap);
    ASSERT_EQ(450, frame.width);
    // The card starts at y 89; above it nothing is drawn.
    EXPECT_EQ(0u, frame.at(200, 40) & 0xFFFFFF);
    const DWORD card = frame.at(200, 120) & 0xFFFFFF;
    EXPECT_GT(card & 0xFF, 200u);
    // Dark text pixels inside the question's box, none to its right
    // before the buttons.
    int dark = 0;
    for (int y = 146; y < 176; ++y)
        for (int x = 35; x < 245; ++x)
            if ((frame.at(x, y) & 0xFF) < 120) ++dark;
    EXPECT_GT(dark, 20);
    // Both buttons differ from the plain card.
    EXPECT_NE(card, frame.at(289, 162) & 0xFFFFFF);
    EXPECT_NE(card, frame.at(359, 162) & 0xFFFFFF);
}

TEST(MainDlg, ProgressFramesRubOutInkAndMoveEraser) {
    ProgramFolder folder;
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create(0, 0, 450, 230, 0, true, nullptr, 0));
    dlg.mode = 1;

    dlg.shownPercent = 0;
    qvtest::Pixels start = Compose(dlg);
    EXPECT_EQ(30, dlg.eraserTop);
    EXPECT_TRUE(IsInk(start.at(250, 161))) << std::hex << start.at(250, 161);
    EXPECT_TRUE(IsEraserBlue(start.at(60 + 68, 30 + 78))) << std::hex << start.at(128, 108);

    dlg.shownPercent = 100;
    qvtest::Pixels end = Compose(dlg);
    EXPECT_EQ(30, dlg.eraserTop) << "at 100 the eraser rests lifted";
    EXPECT_FALSE(IsInk(end.at(250, 161)));
    EXPECT_FALSE(IsInk(end.at(100, 161)));
    EXPECT_TRUE(IsEraserBlue(end.at(300 + 68, 30 + 78))) << std::hex << end.at(368, 108);
    EXPECT_FALSE(IsEraserBlue(end.at(128, 108)));
}

TEST(MainDlg, EraserBobsBetweenZeroAndThirtyBelowHundred) {
    ProgramFolder folder;
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create(0, 0, 450, 230, 0, true, nullptr, 0));
    dlg.mode = 1;
    dlg.shownPercent = 50;
    qv::ScopedWindowDC wdc(dlg.hwnd);
    RECT rc{0, 0, 450, 230};
    CQvDC buffer(wdc.get(), rc, false, true, dlg.hwnd);
    int tops[4];
    for (int& t : tops) {
        dlg.DrawContent(buffer.memDC);
        t = dlg.eraserTop;
    }
    EXPECT_EQ(30, tops[0]);
    EXPECT_EQ(0, tops[1]);
    EXPECT_EQ(30, tops[2]);
    EXPECT_EQ(0, tops[3]);
    dlg.shownPercent = 100;
    dlg.DrawContent(buffer.memDC);
    dlg.DrawContent(buffer.memDC);
    EXPECT_EQ(30, dlg.eraserTop);
}

TEST(MainDlg, ProgressMessagesSetTheTargetAndOnlyDoneEndsTheWork) {
    ProgramFolder folder;
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create(0, 0, 450, 230, 0, true, nullptr, 0));
    ::SendMessageW(dlg.hwnd, WM_UNINSTALL_PROGRESS, 57, 0);
    EXPECT_EQ(57, dlg.targetPercent);
    ::SendMessageW(dlg.hwnd, WM_UNINSTALL_PROGRESS, 100, 0);
    EXPECT_EQ(100, dlg.targetPercent);
    // A 100 can come while the engine still removes the key and shortcuts.
    EXPECT_FALSE(dlg.engineDone);
}

// The animation runs on the window's own timer: it steps by ten towards the
// engine's percent, one step a tick, and stops at the step that reaches it.
TEST(MainDlg, ProgressStepsByTenOnTheWindowsTimerAndOvershootsTargetToSixty) {
    ProgramFolder folder;
    CMainDlg dlg;
    ASSERT_TRUE(dlg.Create(0, 0, 450, 230, 0, true, nullptr, 0));
    dlg.mode = 1;
    dlg.targetPercent = 57;
    const DWORD start = ::GetTickCount();
    ::SetTimer(dlg.hwnd, CMainDlg::kProgressTimer, CMainDlg::kProgressStepMs, nullptr);
    ASSERT_TRUE(qvtest::PumpUntil([&] { return dlg.shownPercent == 60; }, 5000));
    EXPECT_GE(::GetTickCount() - start, 900u) << "six ticks of 200 ms";
    EXPECT_FALSE(qvtest::PumpUntil([&] { return dlg.shownPercent != 60; }, 700));
    ::KillTimer(dlg.hwnd, CMainDlg::kProgressTimer);
}

HWND g_slidingWnd = nullptr;

// Runs inside the exit: by then the window must have left its place, five
// frames of (100 + 450) / 5 = 110 pixels to the left.
void CheckSlidOut() {
    RECT wr{};
    ::GetWindowRect(g_slidingWnd, &wr);
    if (wr.left != 100 - 550) ::_exit(20);
}

// Cancelling slides the dialog out to the left and ends the process with 0;
// the window must have left its place first.
QV_CHILD(cancel_slides_out_and_exits) {
    ProgramFolder folder;
    CMainDlg dlg;
    if (!dlg.Create(100, 100, 450, 230, 0, true, nullptr, 0)) return 10;
    dlg.ShowDlg(-1, false, SW_SHOW);
    g_slidingWnd = dlg.hwnd;
    std::atexit(CheckSlidOut);
    CMainDlg::OnCancelClick(&dlg);
    return 11;  // not reached: ExitApp ends the process
}

QV_CHILD(close_exits_with_zero) {
    ProgramFolder folder;
    CMainDlg dlg;
    if (!dlg.Create(100, 100, 450, 230, 0, true, nullptr, 0)) return 10;
    ::SendMessageW(dlg.hwnd, WM_CLOSE, 0, 0);
    return 11;
}

TEST(MainDlg, CancelAndCloseEndTheProcessWithZero) {
    DWORD start = ::GetTickCount();
    EXPECT_EQ(0, qvtest::RunChild("cancel_slides_out_and_exits"));
    EXPECT_GE(::GetTickCount() - start, 250u) << "five frames of 50 ms";
    EXPECT_EQ(0, qvtest::RunChild("close_exits_with_zero"));
}
