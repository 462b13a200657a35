// The self-delete batch: its exact text, and what it does once the
// uninstaller's process has ended. The batch ends every "qvUninstall.exe"
// by image name, so the copies here carry that name and this test runs on
// its own (RUN_SERIAL).
#include <gtest/gtest.h>

#include <string>

#include "UninstallTestUtil.h"
#include "app/ClearBatch.h"
#include "app/MainDlg.h"
#include "app/QvApp.h"
#include "base/QvScoped.h"

using namespace uitest;

namespace {

std::string Ansi(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return out;
}

std::string Batch(const std::wstring& program, const std::wstring* dir) {
    std::string text = "@ echo off\r\ntaskkill /im qvUninstall.exe /f\r\ndel \"" + Ansi(program) +
                       "\"\r\n";
    if (dir) text += "rd /S /Q \"" + Ansi(*dir) + "\"\r\n";
    return text + "del %0";
}

bool WaitGone(const std::wstring& path, DWORD ms) {
    return qvtest::PumpUntil([&] { return !Exists(path); }, ms);
}

// An installed product: the uninstaller copy, its data file and files, in
// a folder of its own.
struct Installed {
    explicit Installed(const qvtest::TempDir& tmp, const wchar_t* folderName) {
        dir = tmp / folderName;
        exe = CopySelf(dir, L"qvUninstall.exe");
        MakeFile(Slash(dir) + L"data\\a.txt");
        MakeFile(Slash(dir) + L"b.dll");
        WriteDat(Slash(dir) + L"qvUninstall.dat", {.installDir = dir});
    }
    std::wstring dir, exe;
};

// Holds the batch open without delete sharing: it can be written and run,
// but its "del %0" fails, so what was written can be read afterwards.
class BatchHold {
public:
    BatchHold() {
        MakeFile(qv::kClearBatchPath, "");
        file_.reset(::CreateFileW(qv::kClearBatchPath, GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    }
    ~BatchHold() { Release(); }
    bool held() const { return static_cast<bool>(file_); }
    void Release() {
        file_.reset();
        ::DeleteFileW(qv::kClearBatchPath);
    }

private:
    qv::ScopedFile file_;
};

}  // namespace

// What the dialog does at the end: start the worker, hand over to DeleteSelf.
QV_CHILD(delete_self) {
    ProgressRecorder rec;
    CQvUninstaller engine;
    engine.StartUninstall(rec.hwnd, 1);
    engine.DeleteSelf();  // waits for the worker, then ends the process
    return 3;             // only when the batch could not be written
}

TEST(ClearBatch, TextIsExactlyTheFiveLinesInTheAnsiCodePage) {
    std::wstring program = L"C:\\Program Files\\塔洛\\qvUninstall.exe";
    std::wstring dir = L"C:\\Program Files\\塔洛";
    EXPECT_EQ(Batch(program, &dir), qv::ComposeClearBatch(program.c_str(), dir.c_str()));
    EXPECT_EQ(Batch(program, nullptr), qv::ComposeClearBatch(program.c_str(), nullptr));
    EXPECT_EQ("@ echo off\r\ntaskkill /im qvUninstall.exe /f\r\ndel \"C:\\a\\qvUninstall.exe\"\r\n"
              "rd /S /Q \"C:\\a\"\r\ndel %0",
              qv::ComposeClearBatch(L"C:\\a\\qvUninstall.exe", L"C:\\a"));
}

TEST(ClearBatch, TextThatCmdWouldReadAsCodeStaysOut) {
    std::string noRd = "@ echo off\r\ntaskkill /im qvUninstall.exe /f\r\ndel \"C:\\a\\q.exe\"\r\ndel %0";
    for (const wchar_t* dir : {L"C:\\a\"&rd C:\\", L"C:\\100%\\", L"C:\\a\r\nrd C:\\", L"C:\\a\nx"})
        EXPECT_EQ(noRd, qv::ComposeClearBatch(L"C:\\a\\q.exe", dir)) << dir;
    // cmd reads "%%" in a batch as one percent sign.
    EXPECT_EQ("@ echo off\r\ntaskkill /im qvUninstall.exe /f\r\ndel \"C:\\100%%\\q.exe\"\r\ndel %0",
              qv::ComposeClearBatch(L"C:\\100%\\q.exe", nullptr));
    // A character the code page cannot spell would turn into a "?" wildcard.
    EXPECT_EQ("@ echo off\r\ntaskkill /im qvUninstall.exe /f\r\ndel %0",
              qv::ComposeClearBatch(L"C:\\does-not-exist\\\u0400\u10A0.exe", nullptr));
}

TEST(DeleteSelf, WritesTheBatchAndTheBatchRemovesProgramFolderAndItself) {
    qvtest::TempDir tmp(L"qvself");
    ASSERT_TRUE(MakeFile(tmp / L"outside\\keep.txt"));

    // First run: keep the batch from deleting itself, to read what was written.
    Installed first(tmp, L"塔洛 产品");
    ASSERT_FALSE(first.exe.empty());
    BatchHold hold;
    ASSERT_TRUE(hold.held());
    EXPECT_EQ(0, RunCopy(first.exe, "delete_self"));
    EXPECT_EQ(Batch(first.exe, &first.dir), ReadAll(qv::kClearBatchPath));
    EXPECT_TRUE(WaitGone(first.dir, 30000));
    hold.Release();

    // Second run: program, installation folder and batch all go.
    Installed second(tmp, L"second");
    ASSERT_FALSE(second.exe.empty());
    EXPECT_EQ(0, RunCopy(second.exe, "delete_self"));
    EXPECT_TRUE(WaitGone(second.dir, 30000));
    EXPECT_TRUE(WaitGone(qv::kClearBatchPath, 30000));
    EXPECT_TRUE(Exists(tmp / L"outside\\keep.txt"));
}

TEST(DeleteSelf, APercentSignKeepsTheFolderButTheProgramStillGoes) {
    qvtest::TempDir tmp(L"qvself");
    Installed inst(tmp, L"100%");
    ASSERT_FALSE(inst.exe.empty());
    BatchHold hold;
    ASSERT_TRUE(hold.held());
    EXPECT_EQ(0, RunCopy(inst.exe, "delete_self"));
    std::string text = ReadAll(qv::kClearBatchPath);
    EXPECT_EQ(std::string::npos, text.find("rd /S"));
    EXPECT_NE(std::string::npos, text.find("100%%\\qvUninstall.exe"));
    EXPECT_TRUE(WaitGone(inst.exe, 30000));
    hold.Release();
    EXPECT_TRUE(Exists(inst.dir));  // emptied by the engine, but not removed
}

TEST(DeleteSelf, AnInstallDirThatWalksOutGetsNoRdLine) {
    qvtest::TempDir tmp(L"qvself");
    ASSERT_TRUE(MakeFile(tmp / L"victim\\keep.txt"));
    Installed inst(tmp, L"inst");
    ASSERT_FALSE(inst.exe.empty());
    ASSERT_TRUE(WriteDat(Slash(inst.dir) + L"qvUninstall.dat",
                         {.installDir = inst.dir + L"\\..\\victim"}));
    BatchHold hold;
    ASSERT_TRUE(hold.held());
    EXPECT_EQ(0, RunCopy(inst.exe, "delete_self"));
    EXPECT_EQ(Batch(inst.exe, nullptr), ReadAll(qv::kClearBatchPath));
    EXPECT_TRUE(WaitGone(inst.exe, 30000));
    EXPECT_TRUE(Exists(tmp / L"victim\\keep.txt"));
}

TEST(DeleteSelf, TheBatchRemovesOnlyAFolderThatHoldsTheProgram) {
    qvtest::TempDir tmp(L"qvself");
    ASSERT_TRUE(MakeFile(tmp / L"neighbour\\keep.txt"));
    Installed inst(tmp, L"inst");
    ASSERT_FALSE(inst.exe.empty());
    // A data file naming a neighbouring folder: the engine empties its own
    // folder, but the batch must not remove the neighbour.
    ASSERT_TRUE(WriteDat(Slash(inst.dir) + L"qvUninstall.dat", {.installDir = tmp / L"neighbour"}));
    {
        BatchHold hold;
        ASSERT_TRUE(hold.held());
        EXPECT_EQ(0, RunCopy(inst.exe, "delete_self"));
        EXPECT_EQ(Batch(inst.exe, nullptr), ReadAll(qv::kClearBatchPath));
        EXPECT_TRUE(WaitGone(inst.exe, 30000));
    }
    EXPECT_TRUE(Exists(tmp / L"neighbour\\keep.txt"));

    // The program in a folder below the installation folder: that is the
    // product's, and it goes.
    std::wstring top = tmp / L"product";
    ASSERT_TRUE(MakeFile(top + L"\\data\\a.txt"));
    std::wstring exe = CopySelf(top + L"\\bin", L"qvUninstall.exe");
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(WriteDat(top + L"\\bin\\qvUninstall.dat", {.installDir = top}));
    EXPECT_EQ(0, RunCopy(exe, "delete_self"));
    EXPECT_TRUE(WaitGone(top, 30000));
    EXPECT_TRUE(WaitGone(qv::kClearBatchPath, 30000));
}

TEST(DeleteSelf, NoRdUnlessTheWholeTreeWasSeen) {
    qvtest::TempDir tmp(L"qvself");
    // The engine skips dot-folders; "rd /S" does not. One that cannot be
    // listed, and one holding a path too long for cmd, may hide a link.
    for (int which = 0; which < 2; ++which) {
        Installed inst(tmp, which ? L"long" : L"locked");
        ASSERT_FALSE(inst.exe.empty());
        qv::ScopedFile lock;
        if (which == 0) {
            ASSERT_TRUE(MakeFile(Slash(inst.dir) + L".hidden\\x.txt"));
            lock.reset(::CreateFileW((Slash(inst.dir) + L".hidden").c_str(), GENERIC_READ, 0,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            ASSERT_TRUE(lock);
        } else {
            std::wstring deep = Slash(inst.dir) + L".cache\\";
            ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr));
            deep += std::wstring(MAX_PATH - deep.size() + 5, L'x');
            ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
        }
        BatchHold hold;
        ASSERT_TRUE(hold.held());
        EXPECT_EQ(0, RunCopy(inst.exe, "delete_self"));
        EXPECT_EQ(Batch(inst.exe, nullptr), ReadAll(qv::kClearBatchPath)) << which;
        EXPECT_TRUE(WaitGone(inst.exe, 30000));
    }
}

// DeleteSelf returns only when it cannot write the batch.
QV_CHILD(delete_self_unwritable) {
    CQvUninstaller engine;
    engine.DeleteSelf();
    return 3;
}

// A batch that can be created but not written is e2e_batch_unwritable.sh.
TEST(DeleteSelf, AFolderWhereTheBatchGoesEndsNothing) {
    qvtest::TempDir tmp(L"qvself");
    std::wstring exe = CopySelf(tmp / L"copy", L"qvUninstall.exe");
    ASSERT_FALSE(exe.empty());
    ::RemoveDirectoryW(qv::kClearBatchPath);
    ::DeleteFileW(qv::kClearBatchPath);
    ASSERT_TRUE(::CreateDirectoryW(qv::kClearBatchPath, nullptr));
    EXPECT_EQ(3, RunCopy(exe, "delete_self_unwritable"));
    EXPECT_TRUE(Exists(exe));
    EXPECT_TRUE(::RemoveDirectoryW(qv::kClearBatchPath));
}

// The main dialog in a product folder: uninstall, then a close request
// while the engine works. The close must wait for the end; the process
// then ends itself through the batch.
QV_CHILD(close_during_progress) {
    CQvApp::Instance().SetAppName(L"QvCloseTest");
    CMainDlg dlg;
    if (!dlg.Create(0, 0, 450, 230, 0, true, nullptr, 0)) return 4;
    CMainDlg::OnUninstallClick(&dlg);
    ::SendMessageW(dlg.hwnd, WM_CLOSE, 0, 0);
    bool closedEarly = !::IsWindow(dlg.hwnd);
    if (closedEarly) return 5;
    CQvApp::Instance().MsgLoop();  // the batch's DeleteSelf ends the process
    return 6;
}

TEST(DeleteSelf, ClosingDuringTheUninstallLetsItFinish) {
    qvtest::TempDir tmp(L"qvself");
    Installed inst(tmp, L"closing");
    ASSERT_FALSE(inst.exe.empty());
    EXPECT_EQ(0, RunCopy(inst.exe, "close_during_progress"));
    EXPECT_TRUE(WaitGone(inst.dir, 30000));
}
