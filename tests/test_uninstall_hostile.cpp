// The engine against an attacker who moves folders while it works, a
// caller who starts it twice, a program path too long to read whole, and a
// data file with a huge list.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "UninstallTestUtil.h"
#include "app/UninstallSafety.h"
#include "base/QvUtil.h"

using namespace uitest;

namespace {

// The folder above the one that holds this program.
std::wstring ParentOfOwnFolder() {
    wchar_t own[MAX_PATH] = {};
    GetCurPath(own);
    std::wstring app = NoSlash(own);
    return app.substr(0, app.rfind(L'\\') + 1);
}

// A product tree whose every file lies in "sub", so that the first progress
// message comes while the walk is inside it, and canaries shaped like the
// product and like "sub": a walk by path that is led into one deletes it.
// Several files in each folder: whatever order the folders list them in,
// files are still to be opened in the folder being walked after the swap.
const wchar_t* const kSubFiles[] = {L"a.txt",       L"deep\\b.txt", L"deep\\c.txt", L"deep\\more\\d.txt",
                                    L"e.txt",       L"f.txt",       L"deep\\g.txt", L"deep\\more\\h.txt",
                                    L"deep\\i.txt"};

void MakeTrees(const std::wstring& root) {
    for (const wchar_t* f : kSubFiles) {
        MakeFile(root + L"wrap\\product\\sub\\" + f);
        MakeFile(root + L"canary-sub\\" + f);
        MakeFile(root + L"canary-product\\sub\\" + f);
    }
}

// Canary files gone, wherever the swap left them: moved into the product's
// place, or still where they were made.
int MissingCanaries(const std::wstring& root, bool movedSub, bool movedProduct) {
    int missing = 0;
    for (const wchar_t* f : kSubFiles) {
        std::wstring swapped = root + L"wrap\\product\\sub\\" + f;
        missing += !(movedSub ? Exists(swapped) : Exists(root + L"canary-sub\\" + f));
        missing += !(movedProduct ? Exists(swapped) : Exists(root + L"canary-product\\sub\\" + f));
    }
    return missing;
}

// Runs the engine on root\wrap\product\ and, from the first progress
// message, tries to swap a folder on the way for a canary.
int RunWithSwap(bool ancestor) {
    std::wstring root = ParentOfOwnFolder();
    std::string what = "no message";
    ProgressRecorder rec;
    rec.onProgress = [&](int) {
        if (what != "no message") return;
        if (ancestor) {
            // A folder above the walk: renamed, and the canary put where the
            // product was.
            bool moved = ::MoveFileW((root + L"wrap").c_str(), (root + L"wrap.old").c_str()) &&
                         ::CreateDirectoryW((root + L"wrap").c_str(), nullptr) &&
                         ::MoveFileW((root + L"canary-product").c_str(),
                                     (root + L"wrap\\product").c_str());
            what = moved ? "moved" : "refused";
        } else {
            // The folder being walked.
            std::wstring sub = root + L"wrap\\product\\sub";
            bool moved = ::MoveFileW(sub.c_str(), (sub + L".old").c_str()) &&
                         ::MoveFileW((root + L"canary-sub").c_str(), sub.c_str());
            what = moved ? "moved" : "refused";
        }
    };
    CQvUninstaller engine;
    engine.StartUninstall(rec.hwnd, 0);
    WriteResults(what);
    return 0;
}

}  // namespace

QV_CHILD(swap_walked_folder) { return RunWithSwap(false); }
QV_CHILD(swap_ancestor_folder) { return RunWithSwap(true); }

TEST_F(EngineTest, FoldersSwappedDuringTheWalkDoNotRedirectIt) {
    for (const char* scenario : {"swap_walked_folder", "swap_ancestor_folder"}) {
        qvtest::RemoveTree(tmp / L"wrap");
        qvtest::RemoveTree(tmp / L"wrap.old");
        qvtest::RemoveTree(tmp / L"canary-sub");
        qvtest::RemoveTree(tmp / L"canary-product");
        MakeTrees(tmp.path());
        std::string what = Run(scenario, {.entries = {Entry(0, tmp / L"wrap\\product\\")}});
        // Held folders cannot be renamed; a folder above may be, and then
        // the walk goes on in the tree it was in.
        EXPECT_TRUE(what == "refused" || what == "moved") << scenario << ": " << what;
        bool moved = what == "moved";
        bool ancestor = std::string(scenario) == "swap_ancestor_folder";
        EXPECT_EQ(0, MissingCanaries(tmp.path(), moved && !ancestor, moved && ancestor))
            << scenario << " (" << what << ")";
    }
}

// Starts the worker and, from inside its first progress message, asks for a
// run on the calling thread: that run must not start under the worker.
QV_CHILD(start_sync_while_worker_runs) {
    ProgressRecorder rec;
    CQvUninstaller engine;
    std::string nested = "no message";
    rec.onProgress = [&](int) {
        if (nested != "no message") return;
        size_t before = rec.values.size();
        engine.StartUninstall(rec.hwnd, 0);
        nested = rec.values.size() == before ? "ignored" : "ran";
    };
    StartAndWaitForItsThreads([&] { engine.StartUninstall(rec.hwnd, 1); }, 30000);
    WriteResults(nested + "|" + rec.Text());
    return 0;
}

TEST_F(EngineTest, ASecondStartWhileTheWorkerRunsIsIgnored) {
    for (const wchar_t* f : {L"a.txt", L"b.txt", L"c.txt", L"d.txt"})
        ASSERT_TRUE(MakeFile(product + f));
    EXPECT_EQ("ignored|25,50,75,100,100",
              Run("start_sync_while_worker_runs", {.entries = {Entry(0, product)}}));
    EXPECT_FALSE(Exists(product));
}

// A module whose path is cut at 260 units names the folder before the cut:
// a parent of its own. The program's folder is found the same way
// (GetCurPath); a program cannot be started from such a path here, so a
// module loaded from one stands in for it.
TEST(ProgramFolder, APathTooLongToReadWholeNamesNoFolder) {
    qvtest::TempDir tmp(L"qvlong");
    std::wstring parent = tmp / L"parent\\";
    // The cut falls inside the long folder's name.
    std::wstring deep = parent + std::wstring(265 - parent.size(), L'd') + L"\\";
    ASSERT_TRUE(::CreateDirectoryW(parent.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    std::wstring dll = deep + L"qvlongpath.dll";
    ASSERT_GT(dll.size(), static_cast<size_t>(MAX_PATH));
    wchar_t own[MAX_PATH] = {};
    GetCurPath(own);
    ASSERT_TRUE(::CopyFileW((std::wstring(own) + L"zlib1.dll").c_str(), (L"\\\\?\\" + dll).c_str(),
                            FALSE));
    HMODULE module = ::LoadLibraryW((L"\\\\?\\" + dll).c_str());
    ASSERT_TRUE(module) << ::GetLastError();
    wchar_t cut[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(module, cut, MAX_PATH);
    wchar_t folder[MAX_PATH] = {L'?'};
    GetCurPathEx(L"qvlongpath.dll", folder);
    EXPECT_STREQ(L"", folder) << "the cut path is " << cut;
    ::FreeLibrary(module);
    ::DeleteFileW((L"\\\\?\\" + dll).c_str());
    ::RemoveDirectoryW((L"\\\\?\\" + deep).c_str());
}

// Measures how much the engine's peak working set grows over one run.
QV_CHILD(engine_memory) {
    ProgressRecorder rec;
    CQvUninstaller engine;
    PROCESS_MEMORY_COUNTERS before{}, after{};
    qv::IsDeletableTarget(L"C:\\warm-up");  // the protected folders, read once
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &before, sizeof(before));
    engine.StartUninstall(rec.hwnd, 0);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &after, sizeof(after));
    WriteResults(std::to_string(before.PeakWorkingSetSize) + " " +
                 std::to_string(after.PeakWorkingSetSize));
    return 0;
}

TEST_F(EngineTest, AHugeListIsHeldOnceNotTwice) {
    std::vector<UninstallEntry> entries;
    for (int i = 0; i < 10000; ++i)
        entries.push_back(Entry(1, tmp / (L"none\\" + std::to_wstring(i) + L".txt")));
    ASSERT_TRUE(WriteDat(app + L"qvUninstall.dat", {.entries = entries}));
    ::DeleteFileW(results.c_str());
    EXPECT_EQ(0, RunCopy(exe, "engine_memory", 240000));
    std::string got = ReadAll(results);
    size_t before = 0, after = 0;
    ASSERT_EQ(2, std::sscanf(got.c_str(), "%zu %zu", &before, &after)) << got;
    ASSERT_GT(before, 0u);
    size_t listBytes = entries.size() * sizeof(UninstallEntry);
    // The run's report goes out on a thread of its own, and its request on a
    // worker of the HTTP client's (so that a stalled server can be given up
    // on): under Wine each thread costs close to 1 MiB of working set,
    // whatever the list.
    const size_t reportThreads = 1 << 20;
    EXPECT_LT(after - before, listBytes * 3 / 2 + reportThreads)
        << "list " << listBytes << " bytes";
}
