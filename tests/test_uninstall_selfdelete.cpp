// The self-delete batch: its exact text, and what it does once the
// uninstaller's process has ended. The batch ends every "qvUninstall.exe"
// by image name, so the copies here carry that name and this test runs on
// its own (RUN_SERIAL).
#include <gtest/gtest.h>

#include <string>

#include "UninstallTestUtil.h"
#include "app/ClearBatch.h"
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
