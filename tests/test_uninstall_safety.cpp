// Which targets the engine refuses, checked against the real shell folders
// of this system and real folders on disk.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "UninstallTestUtil.h"
#include "app/UninstallSafety.h"
#include "app/UninstallWalk.h"
#include "base/QvScoped.h"

using namespace uitest;
using qv::IsDeletableTarget;

namespace {

std::wstring Csidl(int csidl) {
    wchar_t buf[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf);
    return buf;
}

std::wstring Parent(const std::wstring& path) {
    std::wstring p = NoSlash(path);
    return p.substr(0, p.rfind(L'\\'));
}

}  // namespace

TEST(UninstallSafety, RootsRelativeAndNonCanonicalPathsAreRefused) {
    for (const wchar_t* path :
         {L"", L"C:", L"C:\\", L"c:/", L"C:\\\\", L"\\\\server\\share", L"\\\\server\\share\\",
          L"\\\\server\\", L"//server/share/", L"relative\\dir\\", L"dir", L"\\rooted\\dir\\",
          L"C:drive-relative\\", L"C:\\a\\..\\b\\", L"C:\\a\\..", L"C:\\a\\.\\", L"C:\\a\\b.\\",
          L"C:\\a\\b \\", L"\\\\?\\C:\\a\\", L"\\\\.\\C:\\a\\", L"\\\\?\\UNC\\srv\\share\\a"})
        EXPECT_FALSE(IsDeletableTarget(path)) << path;
    EXPECT_FALSE(IsDeletableTarget((L"C:\\" + std::wstring(MAX_PATH, L'a')).c_str()));
}

TEST(UninstallSafety, WellKnownFoldersAndTheirParentsAreRefusedInEverySpelling) {
    const int csidls[] = {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_PROGRAM_FILES, CSIDL_COMMON_APPDATA,
                          CSIDL_PROFILE, CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY,
                          CSIDL_PERSONAL, CSIDL_STARTMENU, CSIDL_PROGRAMS, CSIDL_APPDATA,
                          CSIDL_LOCAL_APPDATA, CSIDL_PROGRAM_FILESX86, CSIDL_SYSTEMX86,
                          CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DOCUMENTS};
    for (int csidl : csidls) {
        std::wstring folder = Csidl(csidl);
        ASSERT_FALSE(folder.empty()) << csidl;
        EXPECT_FALSE(IsDeletableTarget(folder.c_str())) << folder;
        EXPECT_FALSE(IsDeletableTarget(Slash(folder).c_str())) << folder;
        std::wstring upper = folder;
        ::CharUpperW(upper.data());
        EXPECT_FALSE(IsDeletableTarget(upper.c_str())) << upper;
        std::wstring slashes = folder;
        for (wchar_t& c : slashes)
            if (c == L'\\') c = L'/';
        EXPECT_FALSE(IsDeletableTarget(slashes.c_str())) << slashes;
        wchar_t shortName[MAX_PATH] = {};
        if (::GetShortPathNameW(folder.c_str(), shortName, MAX_PATH)) {
            EXPECT_FALSE(IsDeletableTarget(shortName)) << shortName;
        }
    }
    // The users folder and the AppData folder hold protected folders.
    EXPECT_FALSE(IsDeletableTarget(Parent(Csidl(CSIDL_PROFILE)).c_str()));
    EXPECT_FALSE(IsDeletableTarget(Parent(Csidl(CSIDL_APPDATA)).c_str()));
    wchar_t* users = nullptr;
    ASSERT_TRUE(SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_UserProfiles, 0, nullptr, &users)));
    EXPECT_FALSE(IsDeletableTarget(users));
    ::CoTaskMemFree(users);
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    EXPECT_FALSE(IsDeletableTarget(temp));
    EXPECT_FALSE(IsDeletableTarget(Parent(temp).c_str()));
}

TEST(UninstallSafety, ProductFoldersInsideThemAreAllowed) {
    qvtest::TempDir tmp(L"qvsafe");
    ASSERT_TRUE(MakeFile(tmp / L"产品 1\\a.txt"));
    EXPECT_TRUE(IsDeletableTarget((tmp / L"产品 1\\").c_str()));
    EXPECT_TRUE(IsDeletableTarget((tmp / L"产品 1").c_str()));
    EXPECT_TRUE(IsDeletableTarget((tmp / L"产品 1\\a.txt").c_str()));
    EXPECT_TRUE(IsDeletableTarget((tmp / L"not yet there\\").c_str()));
    EXPECT_TRUE(IsDeletableTarget((Slash(Csidl(CSIDL_PROGRAM_FILES)) + L"Talo\\Player\\").c_str()));
    EXPECT_TRUE(IsDeletableTarget((Slash(Csidl(CSIDL_PROGRAMS)) + L"塔洛软件\\").c_str()));
    // Doubled separators are a harmless slip, not another folder.
    std::wstring doubled = tmp / L"产品 1\\\\a.txt";
    EXPECT_TRUE(IsDeletableTarget(doubled.c_str()));
}

TEST(UninstallSafety, JoinPathSkipsWhatDoesNotFit) {
    wchar_t out[MAX_PATH];
    EXPECT_TRUE(qv::JoinPath(out, {L"C:\\a\\", L"b"}));
    EXPECT_STREQ(L"C:\\a\\b", out);
    std::wstring long259(256, L'x');
    EXPECT_TRUE(qv::JoinPath(out, {L"C:\\", long259}));
    EXPECT_FALSE(qv::JoinPath(out, {L"C:\\", long259, L"y"}));
    EXPECT_STREQ(L"", out);
}

TEST(UninstallSafety, NetworkPathsAreRefusedWhateverTheyName) {
    qvtest::TempDir tmp(L"qvsafe");
    ASSERT_TRUE(MakeFile(tmp / L"prod\\a.txt"));
    std::wstring local = tmp / L"prod";  // C:\...
    std::wstring tail = local.substr(3);
    for (const std::wstring& path :
         {std::wstring(L"\\\\server\\share\\product\\"), L"\\\\localhost\\C$\\" + tail,
          L"\\\\127.0.0.1\\c$\\" + tail + L"\\a.txt", L"\\\\?\\UNC\\localhost\\C$\\" + tail,
          L"//localhost/C$/" + tail})
        EXPECT_FALSE(IsDeletableTarget(path.c_str())) << path;
    EXPECT_TRUE(IsDeletableTarget(local.c_str()));
}

TEST(UninstallSafety, NothingInsideWindowsNorAnyProfileNorUserFolders) {
    std::wstring windows = Csidl(CSIDL_WINDOWS);
    ASSERT_FALSE(windows.empty());
    for (const std::wstring& path :
         {Slash(windows) + L"Fonts", Slash(windows) + L"Fonts\\simsun.ttc",
          Slash(Csidl(CSIDL_SYSTEM)) + L"drivers", Slash(Csidl(CSIDL_SYSTEM)) + L"drivers\\etc\\hosts",
          Slash(windows) + L"win.ini", Slash(windows) + L"Talo\\", Slash(windows) + L"Temp\\x.tmp"})
        EXPECT_FALSE(IsDeletableTarget(path.c_str())) << path;

    wchar_t* users = nullptr;
    ASSERT_TRUE(SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_UserProfiles, 0, nullptr, &users)));
    std::wstring profiles = users;
    ::CoTaskMemFree(users);
    // Other users, Default and Public: every child of the profiles folder,
    // existing or not.
    for (const wchar_t* name : {L"Default", L"Public", L"somebody-else", L"QvNoSuchUser"})
        EXPECT_FALSE(IsDeletableTarget((Slash(profiles) + name).c_str())) << name;
    EXPECT_TRUE(IsDeletableTarget((Slash(profiles) + L"Public\\Talo\\").c_str()));

    const KNOWNFOLDERID* known[] = {&FOLDERID_Downloads, &FOLDERID_LocalAppDataLow,
                                    &FOLDERID_Favorites, &FOLDERID_SavedGames, &FOLDERID_Music,
                                    &FOLDERID_Pictures, &FOLDERID_Videos};
    int checked = 0;
    for (const KNOWNFOLDERID* id : known) {
        wchar_t* path = nullptr;
        if (SUCCEEDED(::SHGetKnownFolderPath(*id, 0, nullptr, &path)) && path[0]) {
            EXPECT_FALSE(IsDeletableTarget(path)) << path;
            EXPECT_TRUE(IsDeletableTarget((Slash(path) + L"Talo\\").c_str())) << path;
            ++checked;
        }
        ::CoTaskMemFree(path);
    }
    EXPECT_GE(checked, 5);
}

TEST(UninstallSafety, FileRecordsInsideWindowsAreNotDeleted) {
    std::wstring file = Slash(Csidl(CSIDL_WINDOWS)) + L"qvsafe-" +
                        std::to_wstring(::GetCurrentProcessId()) + L".txt";
    ASSERT_TRUE(MakeFile(file));
    EXPECT_FALSE(qv::DeleteFileChecked(file.c_str()));
    EXPECT_TRUE(Exists(file));
    ::DeleteFileW(file.c_str());
}
