// The self-delete batch: its exact text, and what it does once the
// uninstaller's process has ended. The batch ends every "qvUninstall.exe"
// by image name, so the copies here carry that name and this test runs on
// its own (RUN_SERIAL).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ClearBatchCheck.h"
#include "UninstallTestUtil.h"
#include "app/ClearBatch.h"
#include "app/MainDlg.h"
#include "app/QvApp.h"
#include "base/QvScoped.h"

using namespace uitest;

namespace {

std::string Batch(const std::wstring& program, const std::wstring* dir) {
    return batchcheck::Compose(program.c_str(), dir ? dir->c_str() : nullptr);
}

bool WaitGone(const std::wstring& path, DWORD ms) {
    return qvtest::PumpUntil([&] { return !Exists(path); }, ms);
}

std::string Utf8(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    int n = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), n);
    out.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return out;
}

// Children record the batch they start (its path, a line end, its text)
// in the results file.
void RecordBatch() {
    qv::seam::SetClearBatchObserver([](const std::wstring& path, const std::string& text) {
        WriteResults(Utf8(path) + "\n" + text);
    });
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

// Runs a child of the copy at exe and reads the batch it started.
struct Started {
    int exitCode = -1;
    std::wstring path;  // the batch
    std::string text;   // with the child's process ID replaced by 1234
};

Started RunAndRead(const qvtest::TempDir& tmp, const std::wstring& exe, const char* scenario) {
    std::wstring results = tmp / L"batch-results.txt";
    ::DeleteFileW(results.c_str());
    ::SetEnvironmentVariableW(kResultsVar, results.c_str());
    Started out;
    out.exitCode = RunCopy(exe, scenario);
    ::SetEnvironmentVariableW(kResultsVar, nullptr);
    std::string all = ReadAll(results);
    size_t eol = all.find('\n');
    if (eol == std::string::npos) return out;
    out.path = FromUtf8(all.substr(0, eol));
    out.text = all.substr(eol + 1);
    // The batch ends the child by its process ID, which the test cannot know.
    size_t pid = out.text.find("/pid ");
    if (pid != std::string::npos) {
        size_t end = out.text.find("\r\n", pid);
        out.text.replace(pid + 5, end - pid - 5, "1234");
    }
    return out;
}

bool IsEmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool empty = true;
    do {
        std::wstring name = found.cFileName;
        empty = empty && (name == L"." || name == L"..");
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return empty;
}

std::wstring SystemFolder() {
    wchar_t buf[MAX_PATH] = {};
    ::GetSystemDirectoryW(buf, MAX_PATH);
    return buf;
}

std::string Batch(const std::wstring& program, const std::vector<std::wstring>& folders) {
    return qv::ComposeClearBatch(program.c_str(), folders, 1234, SystemFolder().c_str());
}

}  // namespace

// What the dialog does at the end: start the worker, hand over to DeleteSelf.
QV_CHILD(delete_self) {
    RecordBatch();
    ProgressRecorder rec;
    CQvUninstaller engine;
    engine.StartUninstall(rec.hwnd, 1);
    engine.DeleteSelf();  // waits for the worker, then ends the process
    return 3;             // only when the batch could not be written
}

TEST(ClearBatch, TextIsTheFixedLinesAndOneRdForEachFolder) {
    std::wstring program = L"C:\\Program Files\\塔洛\\qvUninstall.exe";
    std::wstring dir = L"C:\\Program Files\\塔洛";
    EXPECT_EQ(std::string("@ echo off\r\n\"C:\\windows\\system32\\taskkill.exe\" /f /pid 1234\r\n"
                          "del \"C:\\a\\b\\qvUninstall.exe\"\r\nrd \"C:\\a\\b\"\r\nrd \"C:\\a\"\r\n"
                          "del %0 & rd \"%~dp0\""),
              qv::ComposeClearBatch(L"C:\\a\\b\\qvUninstall.exe", {L"C:\\a\\b", L"C:\\a"}, 1234,
                                    L"C:\\windows\\system32"));
    EXPECT_EQ(Batch(program, &dir), batchcheck::Compose(program.c_str(), dir.c_str()));
    // A folder cmd cannot be given leaves out the folders above it too.
    EXPECT_EQ(std::string("@ echo off\r\n\"C:\\windows\\system32\\taskkill.exe\" /f /pid 1234\r\n"
                          "del \"C:\\a\\q.exe\"\r\ndel %0 & rd \"%~dp0\""),
              qv::ComposeClearBatch(L"C:\\a\\q.exe", {L"C:\\a\\100%", L"C:\\a"}, 1234,
                                    L"C:\\windows\\system32"));
}

TEST(ClearBatch, TextThatCmdWouldReadAsCodeStaysOut) {
    std::string noRd = "@ echo off\r\n\"C:\\windows\\system32\\taskkill.exe\" /f /pid 1234\r\n"
                       "del \"C:\\a\\q.exe\"\r\ndel %0 & rd \"%~dp0\"";
    for (const wchar_t* dir : {L"C:\\a\"&rd C:\\", L"C:\\100%\\", L"C:\\a\r\nrd C:\\", L"C:\\a\nx"})
        EXPECT_EQ(noRd, batchcheck::Compose(L"C:\\a\\q.exe", dir)) << dir;
    // A character the code page cannot spell would turn into a "?" wildcard.
    EXPECT_EQ("@ echo off\r\n\"C:\\windows\\system32\\taskkill.exe\" /f /pid 1234\r\n"
              "del %0 & rd \"%~dp0\"",
              batchcheck::Compose(L"C:\\does-not-exist\\\u0400\u10A0.exe", nullptr));
}

TEST(DeleteSelf, TheBatchLivesInAFolderOfItsOwnAndRemovesProgramFolderAndItself) {
    qvtest::TempDir tmp(L"qvself");
    ASSERT_TRUE(MakeFile(tmp / L"outside\\keep.txt"));
    Installed inst(tmp, L"塔洛 产品");
    ASSERT_FALSE(inst.exe.empty());
    Started started = RunAndRead(tmp, inst.exe, "delete_self");
    EXPECT_EQ(0, started.exitCode);
    // A new folder of an unguessable name in the Windows temporary folder.
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring expectedStart = std::wstring(windows) + L"\\Temp\\qvUninstall-";
    ASSERT_EQ(0u, started.path.rfind(expectedStart, 0)) << Utf8(started.path);
    EXPECT_EQ(expectedStart.size() + 16 + 10, started.path.size()) << Utf8(started.path);
    EXPECT_EQ(Batch(inst.exe, std::vector<std::wstring>{inst.dir}), started.text);
    EXPECT_TRUE(WaitGone(inst.dir, 60000));
    EXPECT_TRUE(WaitGone(started.path, 60000));
    // The batch's last line removes its folder where cmd lets go of the
    // batch as it reads it (Windows); Wine's cmd holds it open to the end,
    // and the folder, empty, waits for the next start of the system.
    std::wstring batchFolder = started.path.substr(0, started.path.rfind(L'\\'));
    EXPECT_TRUE(qvtest::PumpUntil([&] { return !Exists(batchFolder) || IsEmptyFolder(batchFolder); },
                                  60000));
    EXPECT_TRUE(Exists(tmp / L"outside\\keep.txt"));
}

TEST(DeleteSelf, APreparedClearBatchPathIsNeitherFollowedNorUsed) {
    qvtest::TempDir tmp(L"qvself");
    ASSERT_TRUE(MakeFile(tmp / L"canary.txt", "keep"));
    // Where the batch used to go, someone has put a link to a file of theirs.
    std::wstring planted = L"C:\\clear.bat";
    qvtest::RemoveLink(planted);
    ASSERT_TRUE(MakeLink(planted, tmp / L"canary.txt"));
    Installed inst(tmp, L"prepared");
    ASSERT_FALSE(inst.exe.empty());
    Started started = RunAndRead(tmp, inst.exe, "delete_self");
    EXPECT_EQ(0, started.exitCode);
    EXPECT_TRUE(WaitGone(inst.dir, 60000));
    EXPECT_EQ("keep", ReadAll(tmp / L"canary.txt"));
    qvtest::RemoveLink(planted);
}

TEST(DeleteSelf, APercentSignKeepsTheFolderButTheProgramStillGoes) {
    qvtest::TempDir tmp(L"qvself");
    Installed inst(tmp, L"100%");
    ASSERT_FALSE(inst.exe.empty());
    Started started = RunAndRead(tmp, inst.exe, "delete_self");
    EXPECT_EQ(0, started.exitCode);
    EXPECT_EQ(std::string::npos, started.text.find("rd \"C:"));
    EXPECT_NE(std::string::npos, started.text.find("100%%\\qvUninstall.exe"));
    EXPECT_TRUE(WaitGone(inst.exe, 60000));
    EXPECT_TRUE(Exists(inst.dir));  // emptied by the engine, but not removed
}

TEST(DeleteSelf, AnInstallDirThatWalksOutGetsNoRdLine) {
    qvtest::TempDir tmp(L"qvself");
    ASSERT_TRUE(MakeFile(tmp / L"victim\\keep.txt"));
    Installed inst(tmp, L"inst");
    ASSERT_FALSE(inst.exe.empty());
    ASSERT_TRUE(WriteDat(Slash(inst.dir) + L"qvUninstall.dat",
                         {.installDir = inst.dir + L"\\..\\victim"}));
    Started started = RunAndRead(tmp, inst.exe, "delete_self");
    EXPECT_EQ(Batch(inst.exe, std::vector<std::wstring>{}), started.text);
    EXPECT_TRUE(WaitGone(inst.exe, 60000));
    EXPECT_TRUE(Exists(tmp / L"victim\\keep.txt"));
}

TEST(DeleteSelf, TheBatchRemovesOnlyEmptiedFoldersFromTheProgramsUpToInstallDir) {
    qvtest::TempDir tmp(L"qvself");
    ASSERT_TRUE(MakeFile(tmp / L"neighbour\\keep.txt"));
    Installed inst(tmp, L"inst");
    ASSERT_FALSE(inst.exe.empty());
    // A data file naming a neighbouring folder: the engine empties its own
    // folder, but the batch must not touch the neighbour.
    ASSERT_TRUE(WriteDat(Slash(inst.dir) + L"qvUninstall.dat", {.installDir = tmp / L"neighbour"}));
    Started started = RunAndRead(tmp, inst.exe, "delete_self");
    EXPECT_EQ(Batch(inst.exe, std::vector<std::wstring>{}), started.text);
    EXPECT_TRUE(WaitGone(inst.exe, 60000));
    EXPECT_TRUE(Exists(tmp / L"neighbour\\keep.txt"));

    // The program in vendor\viewer, installDir the vendor's folder: the
    // viewer's folder goes; the editor beside it, which the engine never
    // walked, stays, and so does the vendor's folder that holds it.
    std::wstring vendor = tmp / L"vendor";
    ASSERT_TRUE(MakeFile(vendor + L"\\editor\\keep.txt"));
    std::wstring exe = CopySelf(vendor + L"\\viewer", L"qvUninstall.exe");
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(MakeFile(vendor + L"\\viewer\\data\\a.txt"));
    ASSERT_TRUE(WriteDat(vendor + L"\\viewer\\qvUninstall.dat", {.installDir = vendor}));
    started = RunAndRead(tmp, exe, "delete_self");
    EXPECT_EQ(Batch(exe, std::vector<std::wstring>{vendor + L"\\viewer", vendor}), started.text);
    EXPECT_TRUE(WaitGone(vendor + L"\\viewer", 60000));
    EXPECT_TRUE(Exists(vendor + L"\\editor\\keep.txt"));

    // Once the editor is gone too, the same batch takes the vendor's folder.
    qvtest::RemoveTree(vendor + L"\\editor");
    exe = CopySelf(vendor + L"\\viewer", L"qvUninstall.exe");
    ASSERT_TRUE(WriteDat(vendor + L"\\viewer\\qvUninstall.dat", {.installDir = vendor}));
    started = RunAndRead(tmp, exe, "delete_self");
    EXPECT_TRUE(WaitGone(vendor, 60000));
}

TEST(DeleteSelf, DotFoldersAreTheEnginesAndWhatStaysKeepsItsFolder) {
    qvtest::TempDir tmp(L"qvself");
    Installed inst(tmp, L"dots");
    ASSERT_FALSE(inst.exe.empty());
    ASSERT_TRUE(MakeFile(Slash(inst.dir) + L".cache\\x.txt"));
    ASSERT_TRUE(MakeFile(Slash(inst.dir) + L".held\\y.txt"));
    // A file held open without delete sharing stays, and so do the folders
    // that hold it.
    qv::ScopedFile lock(::CreateFileW((Slash(inst.dir) + L".held\\y.txt").c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    Started started = RunAndRead(tmp, inst.exe, "delete_self");
    EXPECT_EQ(0, started.exitCode);
    EXPECT_TRUE(WaitGone(inst.exe, 60000));
    EXPECT_FALSE(Exists(Slash(inst.dir) + L".cache"));
    EXPECT_TRUE(Exists(Slash(inst.dir) + L".held\\y.txt"));
}

// DeleteSelf returns only when it cannot write or start the batch
// (e2e_batch_unwritable.sh runs this where no write succeeds).
QV_CHILD(delete_self_unwritable) {
    CQvUninstaller engine;
    engine.DeleteSelf();
    return 3;
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
