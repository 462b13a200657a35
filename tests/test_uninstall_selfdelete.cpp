// The self-delete batch: its exact text, and what it does once the
// uninstaller's process has ended. The copies here carry the name
// "qvUninstall.exe" and this test runs on its own (RUN_SERIAL).
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "ClearBatchCheck.h"
#include "UninstallTestUtil.h"
#include "app/ClearBatch.h"
#include "app/MainDlg.h"
#include "ui/QvApp.h"
#include "base/QvScoped.h"
#include "base/QvTrustSeam.h"

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
    std::string text;
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
    return qv::ComposeClearBatch(program.c_str(), folders, SystemFolder().c_str());
}

// What the system will do at its next start: the session manager's
// pending renames and deletions.
std::wstring PendingRenames() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                        KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return L"";
    std::wstring value(32768, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                           reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
        size = 0;
    ::RegCloseKey(key);
    value.resize(size / sizeof(wchar_t));
    for (wchar_t& c : value)
        if (c == L'\0') c = L'|';
    return value;
}

bool IsRunning(const wchar_t* image) {
    qv::ScopedHandle snap(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snap.get(), &entry); more;
         more = ::Process32NextW(snap.get(), &entry))
        if (_wcsicmp(entry.szExeFile, image) == 0) return true;
    return false;
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
    EXPECT_EQ("@ echo off\r\n" + batchcheck::ProgramLinesA("C:\\a\\b\\qvUninstall.exe") +
                  "rd \"C:\\a\\b\"\r\nrd \"C:\\a\"\r\ndel %0 & rd \"%~dp0\"",
              qv::ComposeClearBatch(L"C:\\a\\b\\qvUninstall.exe", {L"C:\\a\\b", L"C:\\a"},
                                    L"C:\\windows\\system32"));
    EXPECT_EQ(Batch(program, &dir), batchcheck::Compose(program.c_str(), dir.c_str()));
    // A folder cmd cannot be given leaves out the folders above it too.
    EXPECT_EQ("@ echo off\r\n" + batchcheck::ProgramLinesA("C:\\a\\q.exe") + "del %0 & rd \"%~dp0\"",
              qv::ComposeClearBatch(L"C:\\a\\q.exe", {L"C:\\a\\100%", L"C:\\a"},
                                    L"C:\\windows\\system32"));
}

TEST(ClearBatch, TextThatCmdWouldReadAsCodeStaysOut) {
    std::string noRd = "@ echo off\r\n" + batchcheck::ProgramLinesA("C:\\a\\q.exe") +
                       "del %0 & rd \"%~dp0\"";
    for (const wchar_t* dir : {L"C:\\a\"&rd C:\\", L"C:\\100%\\", L"C:\\a\r\nrd C:\\", L"C:\\a\nx"})
        EXPECT_EQ(noRd, batchcheck::Compose(L"C:\\a\\q.exe", dir)) << dir;
    // A character the code page cannot spell would turn into a "?" wildcard.
    EXPECT_EQ("@ echo off\r\ndel %0 & rd \"%~dp0\"",
              batchcheck::Compose(L"C:\\does-not-exist\\\u0400\u10A0.exe", nullptr));
}

TEST(DeleteSelf, TheBatchLivesInAFolderOfItsOwnAndRemovesProgramFolderAndItself) {
    qvtest::TempDir tmp(L"qvself");
    ASSERT_TRUE(MakeFile(tmp / L"outside\\keep.txt"));
    Installed inst(tmp, L"塔洛 产品");
    ASSERT_FALSE(inst.exe.empty());
    Started started = RunAndRead(tmp, inst.exe, "delete_self");
    EXPECT_EQ(0, started.exitCode);
    // A new folder of an unguessable name in the system's Windows
    // temporary folder.
    wchar_t windows[MAX_PATH] = {};
    ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
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
    // Nothing is left for the system to do at its next start: an entry
    // naming the batch's folder would outlive it, free for anyone to make
    // a link of that name in the temporary folder.
    std::wstring name = batchFolder.substr(batchFolder.rfind(L'\\') + 1);
    EXPECT_EQ(std::wstring::npos, PendingRenames().find(name)) << Utf8(PendingRenames());
}

// Writes text as the batch at path and starts it hidden, as the program
// does; the cmd process, or none.
qv::ScopedHandle StartBatch(const qvtest::TempDir& tmp, const std::wstring& batch,
                            const std::string& text) {
    if (!MakeFile(batch, text)) return qv::ScopedHandle();
    std::wstring cmd = SystemFolder() + L"\\cmd.exe";
    std::wstring line = L"\"" + cmd + L"\" /d /c \"" + batch + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(cmd.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          nullptr, tmp.path().c_str(), &startup, &process))
        return qv::ScopedHandle();
    ::CloseHandle(process.hThread);
    return qv::ScopedHandle(process.hProcess);
}

// "&" and "%" in the program's path: cmd reads the quoted, doubled text as
// that one path. Only the program goes; what a misread "&" or "%" would
// name (the folder before the "&", a variable's value) stays.
TEST(ClearBatch, ProgramPathsCmdReadsAsPaths) {
    qvtest::TempDir tmp(L"qvamp");
    std::wstring dir = tmp / L"a&b 100%windir%";
    std::wstring program = dir + L"\\qvUninstall.exe";
    ASSERT_TRUE(MakeFile(program));
    ASSERT_TRUE(MakeFile(dir + L"\\keep.txt"));
    ASSERT_TRUE(MakeFile(tmp / L"a\\keep.txt"));
    std::string text = Batch(program, std::vector<std::wstring>{dir});
    ASSERT_NE(std::string::npos, text.find("100%%windir%%")) << text;
    qv::ScopedHandle cmdProcess = StartBatch(tmp, tmp / L"batch\\clear.bat", text);
    ASSERT_TRUE(cmdProcess);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(cmdProcess.get(), qvtest::Scaled(60000)));
    EXPECT_FALSE(Exists(program));
    EXPECT_TRUE(Exists(dir + L"\\keep.txt"));
    EXPECT_TRUE(Exists(tmp / L"a\\keep.txt"));
}

// The program's file can be deleted only once its process has ended; the
// batch tries again, about once a second, rather than end a process by an
// ID that the system may already have given to another program.
TEST(ClearBatch, TheBatchWaitsUntilTheProgramLetsGoOfItsFile) {
    qvtest::TempDir tmp(L"qvwait");
    std::wstring program = tmp / L"running.exe";
    ASSERT_TRUE(MakeFile(program));
    // Held as a running program's image is: it cannot be deleted.
    qv::ScopedFile running(::CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(running);
    std::wstring batch = tmp / L"batch\\clear.bat";
    qv::ScopedHandle cmdProcess = StartBatch(tmp, batch, Batch(program, std::vector<std::wstring>{}));
    ASSERT_TRUE(cmdProcess);
    // The first try failed and the batch is waiting: its pause is running.
    EXPECT_TRUE(qvtest::PumpUntil([] { return IsRunning(L"ping.exe"); }, 30000));
    EXPECT_TRUE(Exists(program));
    running.reset();
    EXPECT_TRUE(WaitGone(program, 30000));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(cmdProcess.get(), qvtest::Scaled(60000)));
    EXPECT_FALSE(Exists(batch));
}

// Elevated, the batch goes only where no one but administrators can remove
// or swap it between its writing and cmd's reading it; with no such place
// there is no batch (and the program stays), never one in the user's own
// temporary folder.
QV_CHILD(batch_in_open_temp) {
    wchar_t base[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"QV_TEST_TEMP_BASE", base, MAX_PATH);
    qv::seam::SetElevated(1);
    qv::seam::SetClearBatchTempBase(base);
    return qv::StartClearBatch(nullptr) ? 7 : 0;
}

TEST(DeleteSelf, AnElevatedProgramWritesNoBatchWhereOthersCouldSwapIt) {
    qvtest::TempDir tmp(L"qvself");
    // A temporary folder that cannot be used (the rights that rule it out
    // are tried on descriptors in test_trust: Wine keeps none of them).
    std::wstring open = tmp / L"missing";
    Installed inst(tmp, L"open-temp");
    ASSERT_FALSE(inst.exe.empty());
    wchar_t userTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, userTemp);
    auto batches = [&](const std::wstring& folder) {
        int n = 0;
        WIN32_FIND_DATAW found;
        HANDLE find = ::FindFirstFileW((Slash(folder) + L"qvUninstall-*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return 0;
        do ++n;
        while (::FindNextFileW(find, &found));
        ::FindClose(find);
        return n;
    };
    int before = batches(userTemp);
    ::SetEnvironmentVariableW(L"QV_TEST_TEMP_BASE", open.c_str());
    int code = RunCopy(inst.exe, "batch_in_open_temp");
    ::SetEnvironmentVariableW(L"QV_TEST_TEMP_BASE", nullptr);
    EXPECT_EQ(0, code) << "a batch was started";
    EXPECT_EQ(0, batches(open));
    EXPECT_EQ(before, batches(userTemp));
    EXPECT_TRUE(Exists(inst.exe));
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
