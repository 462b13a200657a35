// The uninstall engine against real trees, data files and registry keys.
// The engine reads the data file beside the running program and, in
// own-folder mode, deletes that folder: so every run happens in a copy of
// this program placed in a folder of the test's own.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "UninstallTestUtil.h"
#include "app/QvReport.h"
#include "app/ShellPlaces.h"
#include "app/UninstallRules.h"
#include "app/UninstallSafety.h"
#include "app/UninstallWalk.h"
#include "base/QvScoped.h"
#include "base/QvUtil.h"
#include "support/ReportServer.h"

using namespace uitest;

namespace {

constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring Unique(const wchar_t* stem) {
    return stem + std::to_wstring(::GetCurrentProcessId());
}

bool KeyExists(const std::wstring& name, REGSAM view = 0) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kUninstallKey + name).c_str(), 0, KEY_READ | view,
                        &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

bool MakeKey(const std::wstring& name, REGSAM view = 0) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kUninstallKey + name).c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

void DropKey(const std::wstring& name, REGSAM view = 0) {
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (kUninstallKey + name + L"\\sub").c_str(), view, 0);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (kUninstallKey + name).c_str(), view, 0);
}

}  // namespace

// Runs the engine on the calling thread and reports every progress message.
QV_CHILD(engine_sync) {
    ProgressRecorder rec;
    CQvUninstaller engine;
    engine.StartUninstall(rec.hwnd, 0);
    qvtest::DrainMessages();  // a missing data file posts its 100
    WriteResults(rec.Text());
    return 0;
}

// Runs the engine on its worker and waits for it to say it is done.
QV_CHILD(engine_thread) {
    ProgressRecorder rec;
    CQvUninstaller engine;
    bool doneBefore = engine.IsWorkDone(), runningAfterStart = false;
    bool ended = StartAndWaitForItsThreads(
        [&] {
            engine.StartUninstall(rec.hwnd, 1);
            runningAfterStart = !engine.IsWorkDone();
        },
        30000);
    bool done = ended && engine.IsWorkDone();
    int sent = 0;
    for (size_t i = 0; i + 1 < rec.values.size(); ++i) sent += rec.crossThread[i];
    WriteResults(rec.Text() + "|" + std::to_string(doneBefore) + std::to_string(runningAfterStart) +
                 std::to_string(done) + "|sent " + std::to_string(sent));
    return 0;
}

TEST_F(EngineTest, SevenFilesGiveTruncatedPercentagesDotFoldersIncluded) {
    // Dot-named folders are the product's too: the walk is the only
    // recursive deletion, and nothing it skips may be left for a cruder one.
    for (const wchar_t* f : {L"a.txt", L"b.txt", L"sub\\d.txt", L"sub\\deep\\f.txt",
                             L"sub\\deep\\g.txt", L".cache\\h.txt", L"sub\\.git\\i.txt"})
        ASSERT_TRUE(MakeFile(product + f));
    std::string got = Run("engine_sync", {.entries = {Entry(0, product)}});
    EXPECT_EQ("14,28,42,57,71,85,100", got);
    EXPECT_FALSE(Exists(product));
}

TEST_F(EngineTest, EachPercentIsSentOnceInOrder) {
    // 250 files: every percent from 0 to 100 comes up two or three times.
    for (int i = 0; i < 250; ++i)
        ASSERT_TRUE(MakeFile(product + (i % 2 ? L"sub\\" : L"") + std::to_wstring(i) + L".txt"));
    std::string want;
    for (int p = 0; p <= 100; ++p) want += (p ? "," : "") + std::to_string(p);
    EXPECT_EQ(want, Run("engine_sync", {.entries = {Entry(0, product)}}));
    EXPECT_FALSE(Exists(product));
}

TEST_F(EngineTest, FileRecordsAreQuietEmptyRecordsSkippedBareFolderPathsCompleted) {
    ASSERT_TRUE(MakeFile(tmp / L"single.txt"));
    ASSERT_TRUE(MakeFile(tmp / L"data\\1.txt"));
    ASSERT_TRUE(MakeFile(tmp / L"data\\2.txt"));
    ASSERT_TRUE(MakeFile(tmp / L"data\\3.txt"));
    // Siblings that "data*.*" would have matched without the backslash.
    ASSERT_TRUE(MakeFile(tmp / L"data2\\keep.txt"));
    ASSERT_TRUE(MakeFile(tmp / L"data.txt"));
    ASSERT_TRUE(MakeFile(tmp / L"later.txt"));
    std::string got = Run("engine_sync", {.entries = {Entry(1, tmp / L"single.txt"), Entry(0, L""),
                                                      Entry(0, tmp / L"data"),
                                                      Entry(1, tmp / L"later.txt")}});
    // 5 counted; the file records send nothing, so the folder ends at 60.
    EXPECT_EQ("20,40,60", got);
    EXPECT_FALSE(Exists(tmp / L"single.txt"));
    EXPECT_FALSE(Exists(tmp / L"data"));
    EXPECT_FALSE(Exists(tmp / L"later.txt"));
    EXPECT_TRUE(Exists(tmp / L"data2\\keep.txt"));
    EXPECT_TRUE(Exists(tmp / L"data.txt"));
}

TEST_F(EngineTest, LockedFileStaysIsCountedAndTheEngineFinishes) {
    ASSERT_TRUE(MakeFile(product + L"a.txt"));
    ASSERT_TRUE(MakeFile(product + L"locked.dat"));
    ASSERT_TRUE(MakeFile(product + L"z.txt"));
    qv::ScopedFile lock(::CreateFileW((product + L"locked.dat").c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_EQ("33,66,100", Run("engine_sync", {.entries = {Entry(0, product)}}));
    EXPECT_TRUE(Exists(product + L"locked.dat"));
    EXPECT_FALSE(Exists(product + L"a.txt"));
    EXPECT_FALSE(Exists(product + L"z.txt"));
}

TEST_F(EngineTest, OwnFolderModeDeletesTheProgramsFolderAndReadsShortcutRecords) {
    for (const wchar_t* f : {L"1.txt", L"2.txt", L"bin\\3.dll", L"bin\\4.dll", L"res\\5.png"})
        ASSERT_TRUE(MakeFile(app + f));
    std::wstring desktopLink = qv::StandardPlaces().publicProfile + L"\\Desktop\\" + Unique(L"QvOwn") + L".lnk";
    ASSERT_TRUE(MakeFile(desktopLink));
    ASSERT_TRUE(MakeFile(tmp / L"elsewhere.lnk"));
    ASSERT_TRUE(MakeFile(tmp / L"outside.txt"));
    // With an installation folder the count after the header is the
    // shortcut count, not an entry count. A shortcut record names a
    // shortcut in a shortcut folder, nothing else.
    std::string got = Run("engine_sync", {.installDir = NoSlash(app),
                                          .shortcuts = {Entry(1, desktopLink), Entry(1, tmp / L"elsewhere.lnk")}});
    // engine.exe (running, stays), qvUninstall.dat and five more: seven.
    EXPECT_EQ("14,28,42,57,71,85,100", got);
    EXPECT_TRUE(Exists(app + L"engine.exe"));
    EXPECT_FALSE(Exists(app + L"qvUninstall.dat"));
    EXPECT_FALSE(Exists(app + L"bin"));
    EXPECT_FALSE(Exists(app + L"res"));
    EXPECT_FALSE(Exists(desktopLink));
    EXPECT_TRUE(Exists(tmp / L"elsewhere.lnk"));
    EXPECT_TRUE(Exists(tmp / L"outside.txt"));
}

TEST_F(EngineTest, StartMenuFolderDesktopShortcutAndEmptyNames) {
    wchar_t programs[MAX_PATH] = {}, desktop[MAX_PATH] = {};
    GetProgramsPath(programs);
    GetDesktopPath(desktop);
    ASSERT_TRUE(programs[0] && desktop[0]);
    std::wstring menu = Slash(programs) + Unique(L"QvMenu") + L"\\";
    std::wstring productName = Unique(L"QvProduct");
    std::wstring lnk = Slash(desktop) + productName + L".lnk";
    ASSERT_TRUE(MakeFile(menu + L"run.lnk"));
    ASSERT_TRUE(MakeFile(menu + L"help.lnk"));
    ASSERT_TRUE(MakeFile(lnk));
    ASSERT_TRUE(MakeFile(product + L"a.txt"));
    ASSERT_TRUE(MakeFile(product + L"b.txt"));

    std::string got = Run("engine_sync", {.product = productName,
                                          .startMenu = Unique(L"QvMenu"),
                                          .entries = {Entry(0, product)}});
    // Two counted files; the Start-menu files go past 100 and are not sent.
    EXPECT_EQ("50,100", got);
    EXPECT_FALSE(Exists(menu));
    EXPECT_FALSE(Exists(lnk));

    // Empty names skip their steps: otherwise the whole Programs folder and
    // a desktop file named ".lnk" would go.
    std::wstring programsCanary = Slash(programs) + Unique(L"QvCanary") + L".txt";
    std::wstring dotLnk = Slash(desktop) + L".lnk";
    ASSERT_TRUE(MakeFile(programsCanary));
    ASSERT_TRUE(MakeFile(dotLnk));
    Run("engine_sync", {});
    EXPECT_TRUE(Exists(programsCanary));
    EXPECT_TRUE(Exists(dotLnk));
    ::DeleteFileW(programsCanary.c_str());
    ::DeleteFileW(dotLnk.c_str());
}

TEST_F(EngineTest, RefusedTargetsAreNeitherCountedNorDeleted) {
    ASSERT_TRUE(MakeFile(tmp / L"victim\\keep.txt"));
    ASSERT_TRUE(MakeFile(tmp / L"keep.txt"));
    ASSERT_TRUE(MakeFile(product + L"1.txt"));
    ASSERT_TRUE(MakeFile(product + L"2.txt"));
    // The child inherits this folder as its current one: a relative record
    // would resolve into it.
    wchar_t oldDir[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, oldDir);
    ::SetCurrentDirectoryW(tmp.path().c_str());
    std::string got = Run("engine_sync",
                          {.entries = {Entry(0, L"victim\\"), Entry(1, L"keep.txt"),
                                       Entry(0, product + L"..\\victim\\"),
                                       Entry(1, product + L"..\\keep.txt"),
                                       Entry(0, product + L".\\"), Entry(0, product)},
                           .shortcuts = {Entry(1, L"keep.txt")}});
    ::SetCurrentDirectoryW(oldDir);
    EXPECT_EQ("50,100", got);
    EXPECT_TRUE(Exists(tmp / L"victim\\keep.txt"));
    EXPECT_TRUE(Exists(tmp / L"keep.txt"));
    EXPECT_FALSE(Exists(product));
}

TEST_F(EngineTest, AnUninstallerOnTheDesktopLeavesTheDesktopAlone) {
    wchar_t desktop[MAX_PATH] = {};
    GetDesktopPath(desktop);
    ASSERT_TRUE(desktop[0]);
    std::wstring canary = Slash(desktop) + Unique(L"QvDesk") + L".txt";
    ASSERT_TRUE(MakeFile(canary));
    std::wstring onDesktop = CopySelf(desktop, (Unique(L"QvEngine") + L".exe").c_str());
    ASSERT_FALSE(onDesktop.empty());
    std::wstring dat = Slash(desktop) + L"qvUninstall.dat";
    bool hadDat = Exists(dat);
    ASSERT_FALSE(hadDat);
    ASSERT_TRUE(WriteDat(dat, {.installDir = desktop}));
    EXPECT_EQ(0, RunCopy(onDesktop, "engine_sync"));
    EXPECT_EQ("", ReadAll(results));
    EXPECT_TRUE(Exists(canary));
    EXPECT_TRUE(Exists(dat));
    ::DeleteFileW(canary.c_str());
    ::DeleteFileW(dat.c_str());
    ::DeleteFileW(onDesktop.c_str());
}

TEST_F(EngineTest, UninstallKeyGoesInTheViewTheProgramSees) {
    std::wstring name = Unique(L"QvTestProduct");
    std::wstring nested = Unique(L"QvTestNested");
    ASSERT_TRUE(MakeKey(name));
    ASSERT_TRUE(MakeKey(name + L"X"));  // a longer name must not match
    ASSERT_TRUE(MakeKey(nested + L"\\sub"));
    // Under WOW64 the other view has its own key of that name.
    REGSAM other = isWow64() ? KEY_WOW64_64KEY : 0;
    if (other) {
        ASSERT_TRUE(MakeKey(name, other));
    }

    Run("engine_sync", {.regKey = name});
    Run("engine_sync", {.regKey = nested});
    EXPECT_FALSE(KeyExists(name));
    EXPECT_FALSE(KeyExists(name, isWow64() ? KEY_WOW64_32KEY : 0));
    EXPECT_TRUE(KeyExists(name + L"X"));
    EXPECT_TRUE(KeyExists(nested));  // a key with sub-keys stays
    if (other) {
        EXPECT_TRUE(KeyExists(name, other));
    }

    // A path of keys (a part of another product's key) is not a key name.
    Run("engine_sync", {.regKey = nested + L"\\sub"});
    EXPECT_TRUE(KeyExists(nested + L"\\sub"));

    // Names that would address the Uninstall key itself are refused (the
    // key always has sub-keys, so a run could not show it).
    for (const wchar_t* key : {L"", L"\\", L"\\Product"})
        EXPECT_FALSE(qv::rules::IsPlainKeyName(std::wstring_view(key))) << key;
    DropKey(name + L"X");
    DropKey(nested);
    if (other) DropKey(name, other);
}

// The result says whether the key is gone, so a caller can tell an
// uninstall that left the product listed.
TEST_F(EngineTest, ClearRegSaysWhetherTheKeyIsGone) {
    std::wstring name = Unique(L"QvTestClear");
    std::wstring nested = Unique(L"QvTestClearNested");
    ASSERT_TRUE(MakeKey(name));
    ASSERT_TRUE(MakeKey(nested + L"\\sub"));
    CQvUninstaller engine;
    EXPECT_TRUE(engine.ClearReg(name.c_str()));
    EXPECT_FALSE(KeyExists(name));
    EXPECT_TRUE(engine.ClearReg(name.c_str())) << "a key that is not there is gone";
    EXPECT_FALSE(engine.ClearReg(nested.c_str())) << "a key with sub-keys stays";
    EXPECT_TRUE(KeyExists(nested));
    EXPECT_FALSE(engine.ClearReg((nested + L"\\sub").c_str())) << "a path is refused";
    EXPECT_TRUE(KeyExists(nested + L"\\sub"));
    EXPECT_FALSE(engine.ClearReg(L""));
    DropKey(nested);
}

TEST_F(EngineTest, WorkerPostsAFinalHundredAfterEveryStep) {
    ASSERT_TRUE(MakeFile(product + L"a.txt"));
    ASSERT_TRUE(MakeFile(product + L"b.txt"));
    std::wstring name = Unique(L"QvThreadKey");
    ASSERT_TRUE(MakeKey(name));
    std::string got = Run("engine_thread", {.regKey = name, .entries = {Entry(0, product)}});
    // 50 and 100 sent from the worker, then the posted final 100; done
    // before the start, busy right after it, done at the end.
    EXPECT_EQ("50,100,100|111|sent 2", got);
    EXPECT_FALSE(KeyExists(name));
    DropKey(name);
}

TEST_F(EngineTest, MissingDataFileDeletesNothingAndSignalsCompletion) {
    ASSERT_TRUE(MakeFile(app + L"keep.txt"));
    ::DeleteFileW(results.c_str());
    EXPECT_EQ(0, RunCopy(exe, "engine_thread"));
    EXPECT_EQ("100,100|111|sent 0", ReadAll(results));
    EXPECT_EQ(0, RunCopy(exe, "engine_sync"));
    EXPECT_EQ("100", ReadAll(results));
    EXPECT_TRUE(Exists(app + L"keep.txt"));
}

// Cuts the data file beside this program and runs the engine on each cut:
// nothing outside the product may go, whatever is cut. The reader itself is
// checked at every byte offset (test_uninstall_data); here every field and
// record boundary, the bytes on either side of it, and a stride through the
// middle of each.
QV_CHILD(engine_truncated) {
    wchar_t own[MAX_PATH] = {};
    GetCurPath(own);
    std::wstring app = own;
    std::string full = ReadAll(app + L"full.dat");
    std::wstring root = NoSlash(app);
    root = root.substr(0, root.rfind(L'\\') + 1);
    std::vector<size_t> cuts;
    std::vector<size_t> bounds = {0, 200, 300, 360, 760, 764};
    for (size_t at = 764 + 524; at <= full.size(); at += 524) bounds.push_back(at);
    bounds.push_back(full.size() - 524 - 4);  // the shortcut count
    bounds.push_back(full.size());
    for (size_t b : bounds)
        for (size_t n : {b - 1, b, b + 1, b + 2, b + 4, b + 5, b + 100})
            if (n <= full.size()) cuts.push_back(n);
    for (size_t n = 0; n <= full.size(); n += 37) cuts.push_back(n);
    int failures = 0;
    for (size_t n : cuts) {
        MakeFile(root + L"product\\a.txt");
        MakeFile(root + L"product\\sub\\b.txt");
        MakeFile(root + L"c.txt");
        qvtest::WriteFileBytes(app + L"qvUninstall.dat", full.data(), n);
        ProgressRecorder rec;
        CQvUninstaller engine;
        engine.StartUninstall(rec.hwnd, 0);
        // The canaries carry names that cut paths and names would spell.
        if (!Exists(root + L"prod\\keep.txt") || !Exists(root + L"c.tx") ||
            !KeyExists(L"QvTrunc")) {
            WriteResults("outside touched at " + std::to_string(n));
            ++failures;
            break;
        }
    }
    return failures;
}

TEST_F(EngineTest, DataFileCutAtAnyBoundaryNeverReachesOutside) {
    ASSERT_TRUE(MakeFile(tmp / L"prod\\keep.txt"));
    ASSERT_TRUE(MakeFile(tmp / L"c.tx"));
    ASSERT_TRUE(MakeKey(L"QvTrunc"));
    ASSERT_TRUE(MakeKey(L"QvTruncKey"));
    ASSERT_TRUE(WriteDat(app + L"full.dat",
                         {.regKey = L"QvTruncKey", .product = L"QvTrunc", .startMenu = L"QvTrunc",
                          .entries = {Entry(0, product), Entry(1, tmp / L"c.txt")},
                          .shortcuts = {Entry(1, tmp / L"c.txt")}}));
    ::DeleteFileW(results.c_str());
    EXPECT_EQ(0, RunCopy(exe, "engine_truncated", 600000)) << ReadAll(results);
    EXPECT_TRUE(Exists(tmp / L"prod\\keep.txt"));
    EXPECT_TRUE(KeyExists(L"QvTrunc"));
    DropKey(L"QvTrunc");
    DropKey(L"QvTruncKey");
}

TEST_F(EngineTest, FolderLinksAreRemovedAsLinksNotFollowed) {
    ASSERT_TRUE(MakeFile(tmp / L"canary\\keep.txt"));
    ASSERT_TRUE(MakeFile(product + L"a.txt"));
    std::wstring link = product + L"link";
    ASSERT_TRUE(MakeLink(link, tmp / L"canary"));
    ASSERT_TRUE(qv::IsDirectoryLink(link.c_str()));
    EXPECT_EQ("100", Run("engine_sync", {.entries = {Entry(0, product)}}));
    EXPECT_TRUE(Exists(tmp / L"canary\\keep.txt"));
    EXPECT_FALSE(Exists(product + L"a.txt"));
    // Wine cannot remove a link made on the host; a Windows link goes.
    EXPECT_TRUE(!Exists(link) || qv::IsDirectoryLink(link.c_str()));
    qvtest::RemoveLink(link);
}

// Runs the engine against the report server named in QV_TEST_REPORT_HOST
// and outlives the report's own thread, which sends it.
QV_CHILD(engine_report) {
    wchar_t host[100] = {};
    ::GetEnvironmentVariableW(L"QV_TEST_REPORT_HOST", host, 100);
    SetReportHost(host);
    ProgressRecorder rec;
    CQvUninstaller engine;
    // Other threads (WinINet's own) may outlive the report's.
    return StartAndWaitForItsThreads([&] { engine.StartUninstall(rec.hwnd, 0); }, 30000,
                                     reinterpret_cast<const void*>(&ReportThread))
               ? 0
               : 1;
}

TEST_F(EngineTest, SendsTheUninstallReportWithTheProductName) {
    qvtest::ReportServer server;
    ASSERT_TRUE(server.Load()) << server.error();
    ::SetEnvironmentVariableW(L"QV_TEST_REPORT_HOST", server.Host("normal").c_str());
    std::wstring product = Unique(L"QvReport");
    ASSERT_TRUE(WriteDat(app + L"qvUninstall.dat", {.product = product}));
    EXPECT_EQ(0, RunCopy(exe, "engine_report"));
    ::SetEnvironmentVariableW(L"QV_TEST_REPORT_HOST", nullptr);
    std::string expected = "/report.asp?type=uninstall&value=QvReport" +
                           std::to_string(::GetCurrentProcessId()) + "&uuid=";
    EXPECT_TRUE(server.WaitFor(
        [&](const qvtest::HttpRecord& r) { return r.target.rfind(expected, 0) == 0; }, 10000));
}
