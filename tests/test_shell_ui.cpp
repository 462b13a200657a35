// The clipboard, the notification-area icon and the common dialogs. The
// dialogs are driven from a second thread, as a user would: it waits for
// the dialog, fills it in and presses a button.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "base/QvScoped.h"
#include "base/QvShell.h"
#include "base/QvShellScoped.h"
#include "support/TestUtil.h"

namespace {

QV_CHILD(ReadClipboard) {
    wchar_t text[64] = {};
    return GetClipboard(text, 64) && std::wstring(text) == L"跨进程 text" ? 0 : 1;
}

}  // namespace

TEST(Clipboard, CutsToMaxMinusOneUnits) {
    ASSERT_EQ(1, SetClipboard(L"0123456789"));
    wchar_t out[32] = {};
    ASSERT_EQ(1, GetClipboard(out, 5));
    EXPECT_EQ(L"0123", std::wstring(out));
    ASSERT_EQ(1, GetClipboard(out, 11));
    EXPECT_EQ(L"0123456789", std::wstring(out));
    ASSERT_EQ(1, GetClipboard(out, 1));
    EXPECT_EQ(L"", std::wstring(out));
    // Below 1 there is no room even for the terminator: nothing is written.
    wcscpy(out, L"kept");
    EXPECT_EQ(0, GetClipboard(out, 0));
    EXPECT_EQ(0, GetClipboard(out, -3));
    EXPECT_EQ(L"kept", std::wstring(out));
    EXPECT_EQ(0, SetClipboard(nullptr));
}

TEST(Clipboard, AnotherProcessReadsWhatWasSet) {
    ASSERT_EQ(1, SetClipboard(L"跨进程 text"));
    EXPECT_EQ(0, qvtest::RunChild("ReadClipboard"));
}

TEST(Clipboard, NoTextMeansNothingCopied) {
    {
        qv::ScopedClipboard clipboard;
        ASSERT_TRUE(clipboard);
        ASSERT_TRUE(::EmptyClipboard());
    }
    wchar_t out[8] = L"stale";
    EXPECT_EQ(0, GetClipboard(out, 8));
    EXPECT_EQ(L"", std::wstring(out));
}

namespace {

HWND OwnerWindow() {
    return ::CreateWindowW(L"STATIC", L"QvTestOwner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           ::GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

TEST(Tray, AddModifyAndRemove) {
    HWND wnd = OwnerWindow();
    ASSERT_NE(nullptr, wnd);
    HICON icon = ::LoadIconW(nullptr, IDI_APPLICATION);
    ASSERT_EQ(1, ShowTray(wnd, icon, L"提示 tip", WM_APP + 7));
    EXPECT_EQ(0, ShowTray(wnd, icon, L"again", WM_APP + 7));  // one icon per window
    EXPECT_EQ(1, SetIcon(wnd, ::LoadIconW(nullptr, IDI_INFORMATION)));
    EXPECT_EQ(1, SetTip(wnd, L"a tip far longer than the hundred and twenty-seven units a tip can "
                                 L"hold, so that it must be cut to fit without overrunning anything"));
    EXPECT_EQ(1, ShowBalloon(wnd, L"标题", L"text", 3000));
    EXPECT_EQ(1, DelTray(wnd));
    // Gone: nothing left to change or remove.
    EXPECT_EQ(0, SetTip(wnd, L"x"));
    EXPECT_EQ(0, DelTray(wnd));
    EXPECT_EQ(0, ShowTray(nullptr, icon, L"x", WM_APP));
    ::DestroyWindow(wnd);
}

namespace {

// Runs `act` on the first visible dialog of `thread` once it appears.
class DialogDriver {
public:
    DialogDriver(DWORD thread, std::function<void(HWND)> act)
        : worker_([this, thread, act] {
              for (int i = 0; i < 600 && !stop_; ++i) {
                  HWND dlg = Find(thread);
                  if (dlg) {  // visible: its own set-up is done
                      act(dlg);
                      found_ = true;
                      return;
                  }
                  ::Sleep(50);
              }
          }) {}
    ~DialogDriver() {
        stop_ = true;
        worker_.join();
    }
    bool found() const { return found_; }

private:
    static BOOL CALLBACK IsDialog(HWND wnd, LPARAM lp) {
        wchar_t cls[32] = {};
        ::GetClassNameW(wnd, cls, 32);
        if (std::wstring(cls) == L"#32770" && ::IsWindowVisible(wnd)) {
            *reinterpret_cast<HWND*>(lp) = wnd;
            return FALSE;
        }
        return TRUE;
    }
    static HWND Find(DWORD thread) {
        HWND found = nullptr;
        ::EnumThreadWindows(thread, IsDialog, reinterpret_cast<LPARAM>(&found));
        return found;
    }

    std::atomic<bool> stop_{false}, found_{false};
    std::thread worker_;
};

void Press(HWND dlg, int id) {
    ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dlg, id)));
}

// The text of the file-name box of an explorer-style file dialog.
void SetFileName(HWND dlg, const std::wstring& name) {
    HWND box = ::GetDlgItem(dlg, cmb13);
    if (!box) box = ::GetDlgItem(dlg, edt1);
    ::SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

BOOL CALLBACK AddText(HWND wnd, LPARAM lp) {
    wchar_t text[256] = {};
    ::SendMessageW(wnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    *reinterpret_cast<std::wstring*>(lp) += std::wstring(text) + L"|";
    return TRUE;
}

// Every control's text, each followed by "|".
std::wstring ChildTexts(HWND dlg) {
    std::wstring all;
    ::EnumChildWindows(dlg, AddText, reinterpret_cast<LPARAM>(&all));
    return all;
}

class Dialogs : public ::testing::Test {
protected:
    qv::ScopedCom com_;
    qvtest::TempDir dir_{L"qvdlg"};
    HWND owner_ = OwnerWindow();
    DWORD thread_ = ::GetCurrentThreadId();
    const wchar_t* filter_ = L"Text (*.txt)\0*.txt\0All\0*.*\0";

    ~Dialogs() override { ::DestroyWindow(owner_); }
    std::wstring MakeFile(const wchar_t* name) {
        std::wstring path = dir_ / name;
        qvtest::WriteFileBytes(path, "x", 1);
        return path;
    }
};

}  // namespace

TEST_F(Dialogs, OpenReturnsTheChosenFileWithReadOnlyChecked) {
    std::wstring file = MakeFile(L"chosen.txt");
    wchar_t out[MAX_PATH] = L"stale";
    int readOnly = -1;
    LRESULT filterIndex = -1;
    {
        DialogDriver driver(thread_, [&](HWND dlg) {
            readOnly = ::IsDlgButtonChecked(dlg, chx1);
            filterIndex = ::SendDlgItemMessageW(dlg, cmb1, CB_GETCURSEL, 0, 0);
            SetFileName(dlg, file);
            Press(dlg, IDOK);
        });
        ASSERT_EQ(1, ShowOpenFileDlg(out, MAX_PATH, owner_, filter_, L"txt", 0));
        EXPECT_TRUE(driver.found());
    }
    EXPECT_EQ(file, out);
    EXPECT_EQ(BST_CHECKED, readOnly);
    EXPECT_EQ(0, filterIndex);  // the first filter
}

TEST_F(Dialogs, OpenWithMultipleSelectionListsFolderAndNames) {
    MakeFile(L"a.txt");
    MakeFile(L"b.txt");
    std::wstring folder = dir_.path().substr(0, dir_.path().size() - 1);
    wchar_t out[1024] = {};
    {
        DialogDriver driver(thread_, [&](HWND dlg) {
            SetFileName(dlg, folder);  // enter the folder first
            ::SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(dlg, IDOK)));
            SetFileName(dlg, L"\"a.txt\" \"b.txt\"");
            Press(dlg, IDOK);
        });
        ASSERT_EQ(1, ShowOpenFileDlg(out, 1024, owner_, filter_, nullptr, 1));
    }
    std::wstring first = out;
    std::wstring second = out + first.size() + 1;
    std::wstring third = out + first.size() + second.size() + 2;
    EXPECT_EQ(folder, first);
    EXPECT_EQ(L"a.txt", second);
    EXPECT_EQ(L"b.txt", third);
}

TEST_F(Dialogs, CancelledFileDialogsReturnNothing) {
    wchar_t out[MAX_PATH] = L"stale";
    {
        DialogDriver driver(thread_, [](HWND dlg) { Press(dlg, IDCANCEL); });
        EXPECT_EQ(0, ShowOpenFileDlg(out, MAX_PATH, owner_, filter_, nullptr, 0));
        EXPECT_TRUE(driver.found());
    }
    EXPECT_EQ(L"", std::wstring(out));
    wcscpy(out, L"stale");
    {
        DialogDriver driver(thread_, [](HWND dlg) { Press(dlg, IDCANCEL); });
        EXPECT_EQ(0, ShowSaveFileDlg(out, owner_, L"txt", filter_));
        EXPECT_TRUE(driver.found());
    }
    EXPECT_EQ(L"", std::wstring(out));
}

TEST_F(Dialogs, SaveAddsTheDefaultExtension) {
    wchar_t out[MAX_PATH] = {};
    std::wstring name = dir_ / L"report";
    {
        DialogDriver driver(thread_, [&](HWND dlg) {
            SetFileName(dlg, name);
            Press(dlg, IDOK);
        });
        ASSERT_EQ(1, ShowSaveFileDlg(out, owner_, L"txt", filter_));
    }
    EXPECT_EQ(name + L".txt", out);
}

TEST_F(Dialogs, ColourIsTheChosenOneOrTheOriginal) {
    const DWORD start = RGB(10, 20, 30);
    {
        DialogDriver driver(thread_, [](HWND dlg) { Press(dlg, IDCANCEL); });
        EXPECT_EQ(start, GetColorDlg(owner_, start));
        EXPECT_TRUE(driver.found());
    }
    {
        DialogDriver driver(thread_, [](HWND dlg) {
            // The red, green and blue boxes of the full-open dialog.
            ::SetDlgItemInt(dlg, 706, 200, FALSE);
            ::SetDlgItemInt(dlg, 707, 100, FALSE);
            ::SetDlgItemInt(dlg, 708, 50, FALSE);
            Press(dlg, IDOK);
        });
        EXPECT_EQ(RGB(200, 100, 50), GetColorDlg(owner_, start));
    }
}

TEST_F(Dialogs, FolderBrowserTitleAndChoice) {
    std::wstring texts;
    wchar_t out[MAX_PATH] = L"stale";
    {
        DialogDriver driver(thread_, [&](HWND dlg) {
            texts = ChildTexts(dlg);
            Press(dlg, IDCANCEL);
        });
        EXPECT_EQ(0, ShowSelDir(out, owner_));
        EXPECT_TRUE(driver.found());
    }
    EXPECT_EQ(L"", std::wstring(out));
    const wchar_t* title = ::GetACP() == 1252 ? L"Please select the folder" : L"请选择文件夹";
    EXPECT_NE(std::wstring::npos, texts.find(std::wstring(title) + L"|")) << texts;

    // The first item of the tree is the desktop: choosing it gives its folder.
    {
        DialogDriver driver(thread_, [&](HWND dlg) {
            HWND tree = ::FindWindowExW(dlg, nullptr, WC_TREEVIEWW, nullptr);
            auto root = reinterpret_cast<HTREEITEM>(
                ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
            ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(root));
            Press(dlg, IDOK);
        });
        ASSERT_EQ(1, ShowSelDir(out, owner_));
    }
    wchar_t desktop[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop)));
    EXPECT_EQ(0, lstrcmpiW(desktop, out)) << out;
}
