// Faults around the uninstall as a whole: the uninstaller placed in a shell
// folder, hostile names in the self-delete batch, a locked file under the
// real dialog, and a report server that misbehaves. Runs alone: the batch
// ends every "qvUninstall.exe" by image name.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <set>
#include <string>
#include <vector>

#include "ClearBatchCheck.h"
#include "ReliabilityUtil.h"
#include "UninstallTestUtil.h"
#include "support/Loopback.h"
#include "app/ClearBatch.h"
#include "app/MainDlg.h"
#include "ui/QvApp.h"
#include "app/QvReport.h"
#include "base/QvScoped.h"
#include "support/ReportServer.h"

using namespace uitest;
using reliability::Figure;

namespace {

// Every file below dir, relative names.
void ListFiles(const std::wstring& dir, const std::wstring& rel, std::set<std::wstring>* out) {
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + rel + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            ListFiles(dir, rel + name + L"\\", out);
        else
            out->insert(rel + name);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
}

bool WaitGone(const std::wstring& path, DWORD ms) {
    return qvtest::PumpUntil([&] { return !Exists(path); }, ms);
}

std::wstring KnownFolder(const KNOWNFOLDERID& id) {
    wchar_t* path = nullptr;
    std::wstring out;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path))) out = path;
    ::CoTaskMemFree(path);
    return out;
}

}  // namespace

// What the dialog does at the end: the worker, then the batch.
QV_CHILD(r3_delete_self) {
    ProgressRecorder rec;
    CQvUninstaller engine;
    engine.StartUninstall(rec.hwnd, 1);
    engine.DeleteSelf();
    return 3;
}

TEST(Reliability, R3_AnUninstallerInAShellFolderDeletesNothingThere) {
    long runs = 0, lost = 0, left = 0;
    for (const KNOWNFOLDERID* id : {&FOLDERID_Desktop, &FOLDERID_Downloads, &FOLDERID_Documents}) {
        std::wstring folder = KnownFolder(*id);
        ASSERT_FALSE(folder.empty());
        std::wstring dir = Slash(folder);
        std::wstring tag = L"qvr3-" + std::to_wstring(::GetCurrentProcessId());
        ASSERT_TRUE(MakeFile(dir + tag + L".txt"));
        ASSERT_TRUE(MakeFile(dir + tag + L" sub\\k.txt"));
        std::set<std::wstring> before, after;
        ListFiles(dir, L"", &before);
        std::wstring exe = CopySelf(dir, L"qvUninstall.exe");
        ASSERT_FALSE(exe.empty());
        ASSERT_TRUE(WriteDat(dir + L"qvUninstall.dat", {.product = L"QvR3", .installDir = folder}));
        EXPECT_EQ(0, RunCopy(exe, "r3_delete_self")) << dir;
        // The batch removes the program itself; the folder must stay whole.
        if (!WaitGone(exe, 60000)) {
            ++left;
            ADD_FAILURE() << "the program stayed in " << dir;
        }
        ListFiles(dir, L"", &after);
        for (const std::wstring& f : before)
            if (!after.count(f)) {
                ++lost;
                ADD_FAILURE() << "lost " << dir << f;
            }
        ++runs;
        ::DeleteFileW(exe.c_str());
        ::DeleteFileW((dir + L"qvUninstall.dat").c_str());
        ::DeleteFileW((dir + tag + L".txt").c_str());
        qvtest::RemoveTree(dir + tag + L" sub");
    }
    EXPECT_EQ(0, lost);
    Figure("R3 uninstaller in a shell folder", runs, 0, lost,
           "desktop, downloads, documents; programs not removed: " + std::to_string(left));
}

// Hostile names in every position of the batch, in the code pages of
// Chinese, Western and Japanese Windows.
TEST(Reliability, R4_HostileNamesNeverMakeAnUnsafeBatchLine) {
    const std::wstring pieces[] = {
        L"\"", L"%", L"!", L"^", L"&", L"\r\n", L"\n", L"\r", L"\uFF02", L"\uFF05", L"\uFF01",
        L"\uFF3E", L"\uFF06", L"\uFF0E\uFF0E", L"\u2216", L"\u00A5", L"%windir%", L"..\\",
        L" & rd /s /q C:\\ & ", L"\u5854\u6D1B", L"\u30BD", L"\u00E9"};
    const std::wstring bases[] = {L"C:\\Talo\\", L"C:\\Program Files\\\u5854\u6D1B\u8F6F\u4EF6\\"};
    const batchcheck::CodePages pages[] = {{936, 936}, {1252, 1252}, {1252, 850}, {932, 932}};
    const bool full = reliability::Full();
    long runs = 0, unsafe = 0;
    auto check = [&](const std::wstring& dir, const std::wstring& program) {
        for (batchcheck::CodePages cp : pages) {
            std::string text = batchcheck::Compose(program.c_str(), dir.c_str(), cp.ansi, cp.oem);
            ++runs;
            for (const std::wstring& line : batchcheck::UnsafeLines(text, program, dir, cp)) {
                ++unsafe;
                ADD_FAILURE() << "code page " << cp.ansi << ", folder " << dir << ": " << line;
            }
        }
    };
    for (const std::wstring& base : bases)
        for (const std::wstring& a : pieces)
            for (const std::wstring& b : pieces) {
                std::wstring dir = base + a + L"x" + b;
                check(dir, dir + L"\\qvUninstall.exe");
                check(dir, base + a + L"qvUninstall" + b + L".exe");
                if (!full) continue;
                for (const std::wstring& c : pieces) check(dir + c, dir + c + L"\\qvUninstall.exe");
            }
    EXPECT_EQ(0, unsafe);
    Figure("R4 hostile names in the batch", runs, 0, 0,
           std::to_string(unsafe) + " unsafe lines; code pages 936, 1252/850, 932");
}

namespace {

// The real dialog, telling the parent how far its progress has gone.
class WatchedDlg : public CMainDlg {
public:
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        LRESULT r = CMainDlg::WndProc(wnd, msg, wParam, lParam);
        int shown = shownPercent;
        if (shown > reported) {
            reported = shown;
            WriteResults(std::to_string(shown));
        }
        return r;
    }
    int reported = -1;
};

}  // namespace

QV_CHILD(r5_dialog) {
    CQvApp::Instance().SetAppName(L"QvR5Test");
    WatchedDlg dlg;
    if (!dlg.Create(0, 0, 450, 230, 0, true, nullptr, 0)) return 4;
    CMainDlg::OnUninstallClick(&dlg);
    CQvApp::Instance().MsgLoop();  // the batch's DeleteSelf ends the process
    return 6;
}

TEST(Reliability, R5_ALockedFileStaysAndTheUninstallStillFinishes) {
    qvtest::TempDir tmp(L"qvr5");
    std::wstring dir = tmp / L"product\\";
    ASSERT_TRUE(MakeFile(dir + L"a.txt"));
    ASSERT_TRUE(MakeFile(dir + L"sub\\b.txt"));
    ASSERT_TRUE(MakeFile(dir + L"locked.dat"));
    ASSERT_TRUE(MakeFile(tmp / L"outside\\keep.txt"));
    std::wstring exe = CopySelf(dir, L"qvUninstall.exe");
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(WriteDat(dir + L"qvUninstall.dat", {.product = L"QvR5", .installDir = NoSlash(dir)}));
    std::wstring results = tmp / L"results.txt";
    ::SetEnvironmentVariableW(kResultsVar, results.c_str());
    qv::ScopedFile lock(::CreateFileW((dir + L"locked.dat").c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    int code = RunCopy(exe, "r5_dialog", 120000);
    bool gone = WaitGone(exe, 60000);
    std::string reached = ReadAll(results);
    ::SetEnvironmentVariableW(kResultsVar, nullptr);
    EXPECT_EQ(0, code);
    EXPECT_EQ("100", reached);
    EXPECT_TRUE(Exists(dir + L"locked.dat"));
    EXPECT_FALSE(Exists(dir + L"a.txt"));
    EXPECT_TRUE(gone);
    long lost = !Exists(tmp / L"outside\\keep.txt");
    EXPECT_EQ(0, lost);
    long crashed = code != 0 && code != 259;
    Figure("R5 a locked file", 1, crashed, lost,
           "exit " + std::to_string(code) + ", interface reached " + reached +
               ", locked file kept: " + (Exists(dir + L"locked.dat") ? "yes" : "no"));
}

namespace {

// A server that takes connections and never reads nor answers: the kernel
// completes the handshake for a listening socket that never accepts.
class SilentServer {
public:
    std::wstring Host() const { return L"127.0.0.1:" + std::to_wstring(port()); }
    int port() const { return listener_.port(); }

private:
    qvtest::LoopbackListener listener_;
};

}  // namespace

// The uninstall as the dialog runs it, reporting to QV_TEST_REPORT_HOST;
// the process ends as soon as the work is done.
QV_CHILD(r6_report) {
    wchar_t host[100] = {};
    ::GetEnvironmentVariableW(L"QV_TEST_REPORT_HOST", host, 100);
    SetReportHost(host);
    ProgressRecorder rec;
    CQvUninstaller engine;
    // The worker's thread only: the report's own, which may hang, is started
    // by the worker.
    if (!StartAndWaitForItsThreads([&] { engine.StartUninstall(rec.hwnd, 1); }, 60000)) return 5;
    WriteResults(rec.Text());
    return 0;
}

TEST_F(EngineTest, R6_AFaultyReportServerNeitherChangesNorHoldsTheUninstall) {
    qvtest::ReportServer server;
    ASSERT_TRUE(server.Load()) << server.error();
    SilentServer silent;
    ASSERT_NE(0, silent.port());
    ASSERT_TRUE(MakeFile(tmp / L"outside\\keep.txt"));
    struct Way {
        const char* name;
        std::wstring host;
    };
    const Way ways[] = {{"refusing", server.Host("refuse")},
                        {"hanging", silent.Host()},
                        {"dropping", server.Host("close")},
                        {"garbage", server.Host("garbage")}};
    long runs = 0, crashes = 0, lost = 0, onTime = 0, same = 0;
    for (const Way& way : ways) {
        for (const wchar_t* f : {L"a.txt", L"b.txt", L"sub\\c.txt", L"sub\\d.txt"})
            ASSERT_TRUE(MakeFile(product + f));
        ::SetEnvironmentVariableW(L"QV_TEST_REPORT_HOST", way.host.c_str());
        std::string got = Run("r6_report", {.product = L"QvR6", .entries = {Entry(0, product)}});
        ++runs;
        // Run() expects exit 0 within its time-out: a process held by the
        // report would be ended there, with another code.
        onTime += !got.empty();
        bool unchanged = got == "25,50,75,100,100" && !Exists(product);
        same += unchanged;
        EXPECT_TRUE(unchanged) << way.name << ": " << got;
        lost += !Exists(tmp / L"outside\\keep.txt");
    }
    ::SetEnvironmentVariableW(L"QV_TEST_REPORT_HOST", nullptr);
    EXPECT_EQ(0, lost);
    Figure("R6 faulty report server", runs, crashes, lost,
           "refusing, hanging, dropping, garbage: uninstall unchanged " + std::to_string(same) +
               "/4, process ended " + std::to_string(onTime) + "/4");
}
