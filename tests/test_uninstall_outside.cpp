// Nothing outside the product, whatever the data file, the user's own
// registry or the product's folder hold: links anywhere on a path, a
// redirected programs folder, other users' files, shortcut records that
// name documents, file links inside the product, trees made deep on
// purpose.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "OutsideTestUtil.h"
#include "UninstallTestUtil.h"
#include "app/ClearBatch.h"
#include "app/ShellPlaces.h"
#include "app/UninstallSafety.h"
#include "app/UninstallWalk.h"
#include "base/QvLog.h"
#include "base/QvScoped.h"

using namespace uitest;

using UninstallOutside = OutsideTest;

TEST_F(UninstallOutside, ALinkInTheMiddleOfARecordIsNotFollowed) {
    ASSERT_TRUE(MakeFile(tmp / L"victim\\data\\keep.txt"));
    ASSERT_TRUE(MakeFile(tmp / L"victim\\file.txt"));
    ASSERT_TRUE(MakeFile(tmp / L"victim2\\x.lnk"));
    ASSERT_TRUE(MakeLink(tmp / L"via", tmp / L"victim"));
    std::wstring desktop = qv::StandardPlaces().publicProfile + L"\\Desktop\\";
    std::wstring viaDesktop = desktop + Unique(L"qvvia");
    ASSERT_TRUE(MakeLink(viaDesktop, tmp / L"victim2"));
    RunBesideProduct({.entries = {Entry(0, tmp / L"via\\data\\"), Entry(1, tmp / L"via\\file.txt")},
                      .shortcuts = {Entry(1, viaDesktop + L"\\x.lnk")}});
    EXPECT_TRUE(Exists(tmp / L"victim\\data\\keep.txt"));
    EXPECT_TRUE(Exists(tmp / L"victim\\file.txt"));
    EXPECT_TRUE(Exists(tmp / L"victim2\\x.lnk"));
    qvtest::RemoveLink(viaDesktop);
}

TEST_F(UninstallOutside, AFileLinkInsideTheProductLosesNoTarget) {
    ASSERT_TRUE(MakeFile(tmp / L"outside.txt", "keep"));
    ASSERT_TRUE(MakeFile(tmp / L"outside2.txt", "keep"));
    ASSERT_TRUE(MakeFile(product + L"a.txt"));
    ASSERT_TRUE(MakeFile(product + L"sub\\b.txt"));
    ASSERT_TRUE(MakeLink(product + L"link.txt", tmp / L"outside.txt"));
    ASSERT_TRUE(MakeLink(product + L"sub\\link2.txt", tmp / L"outside2.txt"));
    Run("outside_sync", {.entries = {Entry(0, product)}});
    EXPECT_EQ("keep", ReadAll(tmp / L"outside.txt"));
    EXPECT_EQ("keep", ReadAll(tmp / L"outside2.txt"));
    EXPECT_FALSE(Exists(product + L"a.txt"));
    EXPECT_FALSE(Exists(product + L"sub\\b.txt"));
}

TEST_F(UninstallOutside, AProgramsFolderMovedInTheUsersRegistryIsLeftAlone) {
    std::wstring menu = Unique(L"QvMenu");
    ASSERT_TRUE(MakeFile(tmp / (L"elsewhere\\" + menu + L"\\keep.txt")));
    std::wstring programs = UserPrograms();
    ASSERT_FALSE(programs.empty());
    {
        ProgramsRedirect redirect(tmp / L"elsewhere");
        Run("outside_sync", {.startMenu = menu});
    }
    EXPECT_TRUE(Exists(tmp / (L"elsewhere\\" + menu + L"\\keep.txt")));

    // In the standard place the product's Start-menu folder goes; a name of
    // more than one component does not.
    ASSERT_TRUE(MakeFile(programs + L"\\" + menu + L"\\a.lnk"));
    ASSERT_TRUE(MakeFile(programs + L"\\" + menu + L"\\deeper\\b.lnk"));
    Run("outside_sync", {.startMenu = menu + L"\\deeper"});
    EXPECT_TRUE(Exists(programs + L"\\" + menu + L"\\deeper\\b.lnk"));
    Run("outside_sync", {.startMenu = menu});
    EXPECT_FALSE(Exists(programs + L"\\" + menu));
}

TEST_F(UninstallOutside, OtherUsersAndSystemFoldersAreNeverTouched) {
    const qv::ShellPlaces& places = qv::StandardPlaces();
    ASSERT_FALSE(places.profiles.empty());
    std::wstring other = places.profiles + L"\\" + Unique(L"qvother");
    std::wstring drive = places.profiles.substr(0, 3);
    std::wstring bin = drive + L"$Recycle.Bin\\" + Unique(L"qv");
    ASSERT_TRUE(MakeFile(other + L"\\Documents\\thesis.docx"));
    ASSERT_TRUE(MakeFile(other + L"\\AppData\\Local\\x.txt"));
    ASSERT_TRUE(MakeFile(bin + L"\\deleted.txt"));
    RunBesideProduct({.entries = {Entry(1, other + L"\\Documents\\thesis.docx"),
                                  Entry(0, other + L"\\AppData\\"), Entry(0, bin + L"\\")}});
    EXPECT_TRUE(Exists(other + L"\\Documents\\thesis.docx"));
    EXPECT_TRUE(Exists(other + L"\\AppData\\Local\\x.txt"));
    EXPECT_TRUE(Exists(bin + L"\\deleted.txt"));
    qvtest::RemoveTree(other);
    qvtest::RemoveTree(bin);
}

TEST_F(UninstallOutside, ShortcutRecordsTakeOnlyShortcutsInShortcutFolders) {
    const qv::ShellPlaces& places = qv::StandardPlaces();
    std::wstring docs = places.publicProfile + L"\\Documents\\" + Unique(L"thesis") + L".docx";
    std::wstring desktop = places.publicProfile + L"\\Desktop\\";
    std::wstring tag = Unique(L"QvShort");
    std::wstring programs = UserPrograms();
    ASSERT_FALSE(programs.empty());
    std::wstring sub = programs + L"\\" + tag + L"\\";
    struct Case {
        std::wstring path;
        bool goes;
    } cases[] = {
        {docs, false},                             // a document
        {desktop + tag + L".lnk", true},           // a shortcut on the desktop
        {desktop + tag + L".url", true},
        {desktop + tag + L".txt", false},          // not a shortcut
        {sub + L"a.lnk", true},                    // one folder below the programs
        {sub + L"a.url", false},                   // only .lnk that far down
        {sub + L"deeper\\b.lnk", false},           // two folders below
        {tmp / (tag + L".lnk"), false},            // no shortcut folder
    };
    DatLayout layout;
    for (const Case& c : cases) {
        ASSERT_TRUE(MakeFile(c.path)) << c.path.c_str();
        layout.shortcuts.push_back(Entry(1, c.path));
    }
    Run("outside_sync", layout);
    for (const Case& c : cases) {
        EXPECT_EQ(!c.goes, Exists(c.path)) << std::string(c.path.begin(), c.path.end());
        ::DeleteFileW(c.path.c_str());
    }
    qvtest::RemoveTree(NoSlash(sub));
}

TEST_F(UninstallOutside, ATreeMadeDeepOnPurposeStopsNothingElse) {
    constexpr int kDepth = 6000;
    ASSERT_TRUE(MakeFile(product + L"a.txt"));
    ASSERT_TRUE(MakeFile(product + L"z\\b.txt"));
    ASSERT_TRUE(MakeChain(product + L"deep", kDepth));
    ASSERT_TRUE(WriteDat(app + L"qvUninstall.dat", {.entries = {Entry(0, product)}}));
    EXPECT_EQ(0, RunCopy(exe, "outside_sync", 600000)) << "the engine did not finish";
    EXPECT_FALSE(Exists(product + L"a.txt"));
    EXPECT_FALSE(Exists(product + L"z\\b.txt"));
    // Below the walk's depth the chain stays, and so do the folders above.
    EXPECT_TRUE(Exists(product + L"deep"));
    RemoveChain(product + L"deep", kDepth);
}

TEST(UninstallSafetyRules, StreamNamesAreRefused) {
    for (const wchar_t* path : {L"C:\\Windows::$INDEX_ALLOCATION", L"C:\\Program Files::$INDEX_ALLOCATION\\",
                                L"C:\\Talo\\a.txt:hidden", L"C:\\Talo\\a.txt::$DATA",
                                L"C:\\Talo:x\\b\\"})
        EXPECT_FALSE(qv::IsDeletableTarget(path)) << path;
    EXPECT_TRUE(qv::IsDeletableTarget(L"C:\\Talo\\a.txt"));
}

// A drive letter mapped to a share may be someone else's whole disk. Wine
// reports no drive as a network drive, so the letter is declared one.
TEST(UninstallSafetyRules, PathsOnAMappedNetworkDriveAreRefused) {
    const wchar_t* paths[] = {L"R:\\Talo\\a.txt", L"R:\\Talo\\", L"r:\\Talo\\bin\\"};
    qv::seam::SetDriveType(L'R', DRIVE_REMOTE);
    for (const wchar_t* path : paths) EXPECT_FALSE(qv::IsDeletableTarget(path)) << path;
    qv::seam::SetDriveType(L'R', DRIVE_FIXED);
    for (const wchar_t* path : paths) EXPECT_TRUE(qv::IsDeletableTarget(path)) << path;
    qv::seam::SetDriveType(L'R', 0);
}

TEST(UninstallSafetyRules, OtherProfilesAndSystemFoldersAreRefusedInEverySpelling) {
    const qv::ShellPlaces& places = qv::StandardPlaces();
    ASSERT_FALSE(places.profiles.empty());
    ASSERT_FALSE(places.profile.empty());
    std::wstring drive = places.profiles.substr(0, 3);
    std::wstring refused[] = {
        places.profiles + L"\\someone\\Documents\\x.docx",
        places.profiles + L"\\someone\\AppData\\Local\\Product\\",
        places.defaultProfile + L"\\AppData\\Roaming\\x\\",
        drive + L"$Recycle.Bin\\S-1-5-21\\x.txt",
        drive + L"$RECYCLE.BIN\\x\\",
        drive + L"System Volume Information\\x",
        drive + L"Windows.old\\Program Files\\x\\",
        drive + L"Recovery\\WindowsRE\\x",
        drive + L"Boot\\BCD",
        places.programData + L"\\Microsoft\\Crypto\\RSA\\key",
        places.programData + L"\\Microsoft\\Windows\\",
    };
    for (const std::wstring& path : refused) {
        EXPECT_FALSE(qv::IsDeletableTarget(path.c_str())) << std::string(path.begin(), path.end());
        std::wstring upper = path;
        ::CharUpperW(upper.data());
        EXPECT_FALSE(qv::IsDeletableTarget(upper.c_str()));
        std::wstring slashes = path;
        for (wchar_t& c : slashes)
            if (c == L'\\') c = L'/';
        EXPECT_FALSE(qv::IsDeletableTarget(slashes.c_str()));
    }
    // The current user's own files, a product under ProgramData and one in
    // the all-users Start menu stay open.
    for (const std::wstring& path :
         {places.profile + L"\\AppData\\Local\\Programs\\Product\\",
          places.programData + L"\\Product\\data.bin",
          places.programData + L"\\Microsoft\\Windows\\Start Menu\\Programs\\Product\\",
          places.publicProfile + L"\\Desktop\\Product.lnk", drive + L"Product\\"})
        EXPECT_TRUE(qv::IsDeletableTarget(path.c_str())) << std::string(path.begin(), path.end());
}

TEST(UninstallSafetyRules, AFolderReachedThroughALinkIsNotTheFolderNamed) {
    qvtest::TempDir tmp(L"qvnamed");
    ASSERT_TRUE(MakeFile(tmp / L"real\\inner\\a.txt"));
    ASSERT_TRUE(MakeLink(tmp / L"via", tmp / L"real"));
    EXPECT_TRUE(qv::OpenWalkRoot((tmp / L"real\\inner\\").c_str()));
    EXPECT_FALSE(qv::OpenWalkRoot((tmp / L"via\\inner\\").c_str()));
    EXPECT_FALSE(qv::OpenWalkRoot((tmp / L"via\\").c_str()));
    EXPECT_FALSE(qv::DeleteFileChecked((tmp / L"via\\inner\\a.txt").c_str()));
    EXPECT_TRUE(Exists(tmp / L"real\\inner\\a.txt"));
    // Short names are the same folder.
    wchar_t shortName[MAX_PATH] = {};
    if (::GetShortPathNameW((tmp / L"real\\inner").c_str(), shortName, MAX_PATH))
        EXPECT_TRUE(qv::OpenWalkRoot(shortName));
}

// Checked before anything is decided, and nothing removed: a junction or
// mount point named as the installation folder would go with its volume.
TEST(UninstallSafetyRules, ALinkNamedAsInstallDirIsNeitherUsedNorRemoved) {
    qvtest::TempDir tmp(L"qvinstalllink");
    std::wstring real = tmp / L"real", via = tmp / L"via";
    ASSERT_TRUE(MakeFile(real + L"\\qvUninstall.exe"));
    ASSERT_TRUE(MakeLink(via, real));
    EXPECT_TRUE(qv::ClearBatchFolders(via.c_str(), real + L"\\qvUninstall.exe").empty());
    EXPECT_TRUE(qv::ClearBatchFolders(real.c_str(), via + L"\\qvUninstall.exe").empty());
    EXPECT_TRUE(Exists(via));
    std::vector<std::wstring> plain = qv::ClearBatchFolders(real.c_str(), real + L"\\qvUninstall.exe");
    ASSERT_EQ(1u, plain.size());
    EXPECT_TRUE(qv::SamePathText(plain[0], real));
    qvtest::RemoveLink(via);
}

// Files that stay are counted for progress all the same, and the log, when
// switched on, says how many.
QV_CHILD(outside_logged) {
    CQvLog::Instance().ForceLog(true);
    ProgressRecorder rec;
    CQvUninstaller engine;
    engine.StartUninstall(rec.hwnd, 0);
    WriteResults(rec.Text());
    return 0;
}

TEST_F(UninstallOutside, FilesThatStayAreCountedAndLogged) {
    ASSERT_TRUE(MakeFile(product + L"a.txt"));
    ASSERT_TRUE(MakeFile(product + L"held.txt"));
    qv::ScopedFile held(::CreateFileW((product + L"held.txt").c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    std::wstring log = app + L"QV-" + std::to_wstring(now.wYear) + L"-" +
                       std::to_wstring(now.wMonth) + L"-" + std::to_wstring(now.wDay) + L".log";
    EXPECT_EQ("50,100", Run("outside_logged", {.entries = {Entry(0, product)}}));
    EXPECT_TRUE(Exists(product + L"held.txt"));
    EXPECT_NE(std::string::npos,
              ReadAll(log).find("uninstall: 1 file(s) could not be deleted"))
        << ReadAll(log);
}
