// Reliability rows for "nothing outside the product": every way found to
// lead the elevated uninstaller out of the product, each tried in several
// shapes, counting the canary files lost. Small in the test command, full
// under tools/reliability.sh.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "OutsideTestUtil.h"
#include "ReliabilityUtil.h"
#include "UninstallTestUtil.h"
#include "app/ClearBatch.h"
#include "app/UninstallWalk.h"

using namespace uitest;
using reliability::Figure;

namespace {

// A canary file with known text; lost when gone or changed.
struct Canaries {
    std::vector<std::wstring> files;
    void Add(const std::wstring& path) {
        MakeFile(path, "keep");
        files.push_back(path);
    }
    long Lost() const {
        long lost = 0;
        for (const std::wstring& f : files)
            if (ReadAll(f) != "keep") {
                ++lost;
                ADD_FAILURE() << "lost " << std::string(f.begin(), f.end());
            }
        return lost;
    }
};

int Rounds() { return reliability::Full() ? 5 : 1; }

}  // namespace

QV_CHILD(outside_delete_self) {
    qv::seam::SetClearBatchObserver(
        [](const std::wstring& path, const std::string&) {
            WriteResults(std::string(path.begin(), path.end()));
        });
    ProgressRecorder rec;
    CQvUninstaller engine;
    engine.StartUninstall(rec.hwnd, 1);
    engine.DeleteSelf();
    return 3;
}

using ReliabilityOutside = OutsideTest;

TEST_F(ReliabilityOutside, R9_LinksInTheMiddleOfRecords) {
    long runs = 0, lost = 0;
    for (int round = 0; round < Rounds(); ++round) {
        // A link at the first, second and third component below tmp.
        for (int depth = 1; depth <= 3; ++depth) {
            std::wstring tag = L"r9-" + std::to_wstring(round) + L"-" + std::to_wstring(depth);
            std::wstring victim = tmp / (tag + L"-victim"), via = tmp / (tag + L"-via");
            std::wstring inner;
            for (int i = 1; i < depth; ++i) inner += L"lvl\\";
            Canaries canaries;
            canaries.Add(victim + L"\\" + inner + L"data\\keep.txt");
            canaries.Add(victim + L"\\" + inner + L"file.txt");
            ASSERT_TRUE(MakeLink(via, victim));
            RunBesideProduct({.entries = {Entry(0, via + L"\\" + inner + L"data\\"),
                                          Entry(1, via + L"\\" + inner + L"file.txt")}});
            lost += canaries.Lost();
            ++runs;
        }
    }
    Figure("R9 links in the middle of a path", runs, 0, lost,
           "file and folder records through a link at depth 1-3");
}

TEST_F(ReliabilityOutside, R10_ProgramsFolderMovedInTheUsersRegistry) {
    long runs = 0, lost = 0;
    std::wstring menu = Unique(L"QvR10");
    for (int round = 0; round < Rounds(); ++round) {
        // Somewhere plain, a profile's own folder, and the all-users one.
        for (const std::wstring& base :
             {tmp / L"r10", qv::StandardPlaces().profile + L"\\" + Unique(L"qvr10"),
              qv::StandardPlaces().programData + L"\\" + Unique(L"qvr10")}) {
            Canaries canaries;
            canaries.Add(base + L"\\" + menu + L"\\keep.txt");
            {
                ProgramsRedirect redirect(base);
                RunBesideProduct({.startMenu = menu});
            }
            lost += canaries.Lost();
            qvtest::RemoveTree(base);
            ++runs;
        }
    }
    Figure("R10 HKCU programs folder redirected", runs, 0, lost,
           "a plain folder, the profile, ProgramData");
}

TEST_F(ReliabilityOutside, R11_OtherProfilesAndSystemFolders) {
    const qv::ShellPlaces& places = qv::StandardPlaces();
    std::wstring drive = places.profiles.substr(0, 3), other = places.profiles + L"\\" + Unique(L"qvr11");
    const std::wstring places11[] = {
        other + L"\\Documents", other + L"\\Desktop", other + L"\\AppData\\Roaming\\x",
        places.defaultProfile + L"\\AppData\\" + Unique(L"qvr11"),
        drive + L"$Recycle.Bin\\" + Unique(L"qvr11"), drive + L"Windows.old\\" + Unique(L"x"),
        drive + L"Recovery\\" + Unique(L"x"), places.programData + L"\\Microsoft\\" + Unique(L"qvr11"),
    };
    long runs = 0, lost = 0;
    for (int round = 0; round < Rounds(); ++round) {
        Canaries canaries;
        DatLayout layout;
        for (const std::wstring& folder : places11) {
            canaries.Add(folder + L"\\keep.txt");
            layout.entries.push_back(Entry(1, folder + L"\\keep.txt"));
            layout.entries.push_back(Entry(0, folder + L"\\"));
            layout.shortcuts.push_back(Entry(1, folder + L"\\keep.txt"));
        }
        RunBesideProduct(layout);
        lost += canaries.Lost();
        runs += static_cast<long>(std::size(places11));
    }
    for (const std::wstring& folder : places11) qvtest::RemoveTree(folder);
    qvtest::RemoveTree(other);
    Figure("R11 other profiles and system folders", runs, 0, lost,
           "as file, folder and shortcut records");
}

TEST_F(ReliabilityOutside, R12_ShortcutRecordsNamingAnyFile) {
    const qv::ShellPlaces& places = qv::StandardPlaces();
    std::wstring tag = Unique(L"qvr12");
    const std::wstring files[] = {
        places.publicProfile + L"\\Documents\\" + tag + L".docx",
        places.publicProfile + L"\\Desktop\\" + tag + L".txt",
        UserPrograms() + L"\\" + tag + L"\\a\\b\\deep.lnk",
        UserPrograms() + L"\\" + tag + L"\\sub.url",
        tmp / (tag + L".lnk"),
        places.profile + L"\\" + tag + L".pif",
    };
    // A shortcut where shortcuts belong goes beside them.
    const std::wstring goes = places.publicProfile + L"\\Desktop\\" + tag + L".lnk";
    long runs = 0, lost = 0;
    for (int round = 0; round < Rounds(); ++round) {
        Canaries canaries;
        DatLayout layout;
        for (const std::wstring& f : files) {
            canaries.Add(f);
            layout.shortcuts.push_back(Entry(1, f));
        }
        ASSERT_TRUE(MakeFile(goes));
        layout.shortcuts.push_back(Entry(1, goes));
        RunBesideProduct(layout);
        EXPECT_FALSE(Exists(goes));
        lost += canaries.Lost();
        runs += static_cast<long>(std::size(files));
    }
    for (const std::wstring& f : files) ::DeleteFileW(f.c_str());
    qvtest::RemoveTree(UserPrograms() + L"\\" + tag);
    Figure("R12 shortcut records naming other files", runs, 0, lost,
           "documents, non-shortcuts, too deep, outside shortcut folders");
}

TEST_F(ReliabilityOutside, R13_APreparedBatchPath) {
    long runs = 0, lost = 0;
    std::set<std::wstring> folders;
    for (int round = 0; round < Rounds() + 1; ++round) {
        Canaries canaries;
        canaries.Add(tmp / L"r13-canary.txt");
        // Where the batch once went, a link to a file of someone else's.
        qvtest::RemoveLink(L"C:\\clear.bat");
        ASSERT_TRUE(MakeLink(L"C:\\clear.bat", tmp / L"r13-canary.txt"));
        std::wstring dir = tmp / (L"r13-" + std::to_wstring(round));
        std::wstring exe = CopySelf(dir, L"qvUninstall.exe");
        ASSERT_TRUE(WriteDat(Slash(dir) + L"qvUninstall.dat", {.installDir = dir}));
        ::DeleteFileW(results.c_str());
        EXPECT_EQ(0, RunCopy(exe, "outside_delete_self"));
        std::string batch = ReadAll(results);
        folders.insert(std::wstring(batch.begin(), batch.end()));
        EXPECT_TRUE(qvtest::PumpUntil([&] { return !Exists(dir); }, 60000));
        lost += canaries.Lost();
        qvtest::RemoveLink(L"C:\\clear.bat");
        ++runs;
    }
    EXPECT_EQ(static_cast<size_t>(runs), folders.size()) << "batch folders repeat";
    Figure("R13 a prepared batch path", runs, 0, lost,
           std::to_string(folders.size()) + " distinct private batch folders");
}

TEST_F(ReliabilityOutside, R14_TheBatchRemovesNoFolderItDidNotEmpty) {
    long runs = 0, lost = 0;
    for (int round = 0; round < Rounds(); ++round) {
        std::wstring vendor = tmp / (L"r14-" + std::to_wstring(round));
        Canaries canaries;
        canaries.Add(vendor + L"\\editor\\keep.txt");
        canaries.Add(vendor + L"\\.settings\\keep.txt");
        canaries.Add(vendor + L"\\keep.txt");
        std::wstring exe = CopySelf(vendor + L"\\viewer", L"qvUninstall.exe");
        MakeFile(vendor + L"\\viewer\\data\\a.txt");
        ASSERT_TRUE(WriteDat(vendor + L"\\viewer\\qvUninstall.dat", {.installDir = vendor}));
        EXPECT_EQ(0, RunCopy(exe, "outside_delete_self"));
        EXPECT_TRUE(qvtest::PumpUntil([&] { return !Exists(vendor + L"\\viewer"); }, 60000));
        lost += canaries.Lost();
        ++runs;
    }
    Figure("R14 installDir above the program's folder", runs, 0, lost,
           "neighbours, dot-folders and files of the parent kept");
}

TEST_F(ReliabilityOutside, R15_TreesMadeDeepOnPurpose) {
    long runs = 0, crashes = 0, left = 0;
    std::vector<int> depths = {qv::kMaxWalkDepth + 50, 2000};
    if (reliability::Full()) depths.push_back(6000);
    for (int depth : depths) {
        ASSERT_TRUE(MakeFile(product + L"a.txt"));
        ASSERT_TRUE(MakeChain(product + L"deep", depth));
        ASSERT_TRUE(WriteDat(app + L"qvUninstall.dat", {.entries = {Entry(0, product)}}));
        int code = RunCopy(exe, "outside_sync", 600000);
        crashes += code != 0;
        left += Exists(product + L"a.txt");
        RemoveChain(product + L"deep", depth);
        ++runs;
    }
    EXPECT_EQ(0, crashes);
    EXPECT_EQ(0, left);
    Figure("R15 deep trees", runs, crashes, 0,
           "depths up to " + std::to_string(depths.back()) + "; files beside them left: " +
               std::to_string(left));
}

TEST_F(ReliabilityOutside, R16_FileLinksToFilesOutside) {
    long runs = 0, lost = 0;
    for (int round = 0; round < Rounds(); ++round) {
        Canaries canaries;
        for (const wchar_t* where : {L"", L"sub\\", L"sub\\deeper\\", L".hidden\\"}) {
            std::wstring target = tmp / (L"r16-" + std::to_wstring(round) + L"-" +
                                         std::to_wstring(canaries.files.size()) + L".txt");
            canaries.Add(target);
            MakeFile(product + where + L"own.txt");
            ASSERT_TRUE(MakeLink(product + where + L"link.txt", target));
        }
        Run("outside_sync", {.entries = {Entry(0, product)}});
        lost += canaries.Lost();
        for (const wchar_t* where : {L"", L"sub\\", L"sub\\deeper\\", L".hidden\\"}) {
            EXPECT_FALSE(Exists(product + where + L"own.txt"));
            qvtest::RemoveLink(product + where + L"link.txt");
        }
        runs += static_cast<long>(canaries.files.size());
        qvtest::RemoveTree(NoSlash(product));
    }
    Figure("R16 file links to files outside", runs, 0, lost,
           "beside the program's files, in subfolders and a dot-folder");
}
