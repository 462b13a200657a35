// Work that waits for the first frame on screen: it waits while a frame
// has been sent to a window not yet shown, and goes once the window shows.
// A process of its own: the first frame happens once per process.
#include <gtest/gtest.h>
#include <process.h>

#include "base/QvScoped.h"
#include "ui/QvDlg.h"
#include "ui/QvFirstFrame.h"

namespace {

unsigned __stdcall AwaitForever(void*) {
    qv::AwaitFirstFrame(INFINITE);
    return 0;
}

qv::ScopedHandle StartWaiter() {
    return qv::ScopedHandle(
        reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, AwaitForever, nullptr, 0, nullptr)));
}

}  // namespace

TEST(FirstFrame, WorkWaitsWhileTheFirstFrameIsSentButNotShown) {
    // No frame sent yet: a process that never shows one does not hold its
    // work back.
    qv::ScopedHandle early = StartWaiter();
    ASSERT_TRUE(early);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(early.get(), 30000));

    CQvDlg dlg;
    dlg.bgImageId = 0;
    dlg.roundCorners = false;
    ASSERT_TRUE(dlg.Create(40, 40, 120, 80, 0, true, nullptr, 0));
    ::SendMessageW(dlg.hwnd, WM_PAINT, 0, 0);  // presented to the hidden window
    qv::ScopedHandle waiter = StartWaiter();
    ASSERT_TRUE(waiter);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(waiter.get(), 300))
        << "returned before the window was shown";

    dlg.ShowDlg(QV_EFFECT_NONE, false, SW_SHOWNA);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(waiter.get(), 30000));
    qv::ScopedHandle late = StartWaiter();
    ASSERT_TRUE(late);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(late.get(), 30000));
}
