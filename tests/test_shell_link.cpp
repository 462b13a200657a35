// Shortcuts and internet shortcuts, written and read back through the
// shell's own objects.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <string>

#include "base/QvScoped.h"
#include "base/QvShell.h"
#include "base/QvShellUrlName.h"
#include "base/QvUtil.h"
#include "support/ReportServer.h"
#include "support/TestUtil.h"

namespace {

class LinkFile : public ::testing::Test {
protected:
    qv::ScopedCom com_;
    qvtest::TempDir dir_{L"qvlink"};

    std::wstring Folder() const {  // without the trailing backslash
        return dir_.path().substr(0, dir_.path().size() - 1);
    }
    std::wstring MakeFile(const wchar_t* name) {
        std::wstring path = dir_ / name;
        qvtest::WriteFileBytes(path, "x", 1);
        return path;
    }
};

// What the shell reads from a .lnk file, independently of the functions
// under test.
struct LinkFields {
    std::wstring path, workDir, icon, description, arguments;
    int iconIndex = -1, show = -1;
    WORD hotkey = 0;
};

bool ReadLink(const std::wstring& file, LinkFields& out) {
    qv::ComPtr<IShellLinkW> link;
    qv::ComPtr<IPersistFile> persist;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(link.put()))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.put()))) ||
        FAILED(persist->Load(file.c_str(), STGM_READ))) {
        return false;
    }
    wchar_t text[MAX_PATH] = {};
    link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    out.path = text;
    text[0] = 0;
    link->GetWorkingDirectory(text, MAX_PATH);
    out.workDir = text;
    text[0] = 0;
    link->GetIconLocation(text, MAX_PATH, &out.iconIndex);
    out.icon = text;
    text[0] = 0;
    link->GetDescription(text, MAX_PATH);
    out.description = text;
    text[0] = 0;
    link->GetArguments(text, MAX_PATH);
    out.arguments = text;
    link->GetHotkey(&out.hotkey);
    // Wine does not read the show command back: take it from the file
    // header, where the shell-link format keeps it (a DWORD at 0x3C).
    char header[0x40] = {};
    DWORD size = sizeof(header);
    if (!QvReadFile(file.c_str(), header, size) || size != sizeof(header)) return false;
    std::memcpy(&out.show, header + 0x3C, sizeof(out.show));
    return true;
}

std::wstring WithoutSlash(std::wstring path) {
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

}  // namespace

TEST_F(LinkFile, WritesEveryFieldAndReadsThemBack) {
    std::wstring target = MakeFile(L"tool.exe");
    std::wstring icon = MakeFile(L"tool.ico");
    WORD hotkey = MAKEWORD('Q', HOTKEYF_CONTROL | HOTKEYF_ALT);
    ASSERT_EQ(1, CreateShortcut(Folder().c_str(), L"Tool", target.c_str(), icon.c_str(), hotkey,
                                L"说明 text", SW_SHOWMINNOACTIVE));
    std::wstring lnk = dir_ / L"Tool.lnk";
    LinkFields f;
    ASSERT_TRUE(ReadLink(lnk, f));
    EXPECT_EQ(target, f.path);
    EXPECT_EQ(Folder(), f.workDir);
    EXPECT_EQ(icon, f.icon);
    EXPECT_EQ(0, f.iconIndex);
    EXPECT_EQ(hotkey, f.hotkey);
    EXPECT_EQ(L"说明 text", f.description);
    EXPECT_EQ(SW_SHOWMINNOACTIVE, f.show);
    EXPECT_EQ(L"", f.arguments);

    wchar_t out[MAX_PATH] = {};
    EXPECT_EQ(S_OK, LnkToRealPath(lnk.c_str(), out));
    EXPECT_EQ(target, out);
    int index = -1;
    ASSERT_EQ(1, GetShortcutIcon(lnk.c_str(), out, &index));
    EXPECT_EQ(icon, out);
    EXPECT_EQ(0, index);

    std::wstring other = MakeFile(L"other.ico");
    ASSERT_EQ(1, SetShortcutIcon(lnk.c_str(), other.c_str()));
    ASSERT_TRUE(ReadLink(lnk, f));
    EXPECT_EQ(other, f.icon);
    EXPECT_EQ(target, f.path);  // the rest of the shortcut is kept
    EXPECT_EQ(hotkey, f.hotkey);
}

TEST_F(LinkFile, WithoutTargetPointsAtThisProgramInItsFolder) {
    ASSERT_EQ(1, CreateShortcut(Folder().c_str(), L"Self", nullptr, nullptr, 0, nullptr,
                                SW_SHOWNORMAL));
    std::wstring lnk = dir_ / L"Self.lnk";
    LinkFields f;
    ASSERT_TRUE(ReadLink(lnk, f));
    EXPECT_EQ(0, lstrcmpiW(qvtest::SelfPath().c_str(), f.path.c_str())) << f.path;
    wchar_t folder[MAX_PATH] = {};
    GetCurPath(folder);
    EXPECT_EQ(0, lstrcmpiW(WithoutSlash(folder).c_str(), WithoutSlash(f.workDir).c_str()))
        << f.workDir;
    EXPECT_EQ(0, f.hotkey);
    EXPECT_EQ(L"", f.description);

    // No icon of its own: the target stands in, with index 0.
    wchar_t out[MAX_PATH] = {};
    int index = -1;
    ASSERT_EQ(1, GetShortcutIcon(lnk.c_str(), out, &index));
    EXPECT_EQ(f.path, out);
    EXPECT_EQ(0, index);
}

TEST_F(LinkFile, FailuresCreateAndReportNothing) {
    EXPECT_EQ(0, CreateShortcut(nullptr, L"None", nullptr, nullptr, 0, nullptr, SW_SHOWNORMAL));
    EXPECT_FALSE(qvtest::FileExists(dir_ / L"None.lnk"));
    // A folder that does not exist: the save fails.
    EXPECT_EQ(0, CreateShortcut((dir_ / L"missing").c_str(), L"None", nullptr, nullptr, 0,
                                nullptr, SW_SHOWNORMAL));

    std::wstring missing = dir_ / L"missing.lnk";
    wchar_t out[MAX_PATH] = L"stale";
    EXPECT_LT(LnkToRealPath(missing.c_str(), out), 0);
    EXPECT_EQ(L"", std::wstring(out));
    int index = 7;
    wcscpy(out, L"stale");
    EXPECT_EQ(0, GetShortcutIcon(missing.c_str(), out, &index));
    EXPECT_EQ(L"", std::wstring(out));
    EXPECT_EQ(0, SetShortcutIcon(missing.c_str(), L"C:\\x.ico"));
    EXPECT_FALSE(qvtest::FileExists(missing));
}

TEST_F(LinkFile, InternetShortcutKeepsItsUrl) {
    std::wstring file = dir_ / L"site.url";
    const wchar_t* url = L"http://example.invalid/path?q=1&r=%E4%B8%AD";
    ASSERT_EQ(1, CreateUrlShortcut(file.c_str(), url));
    wchar_t out[MAX_PATH] = {};
    ASSERT_EQ(1, GetShortcutUrl(file.c_str(), out));
    EXPECT_EQ(url, std::wstring(out));

    wcscpy(out, L"stale");
    EXPECT_EQ(0, GetShortcutUrl((dir_ / L"none.url").c_str(), out));
    EXPECT_EQ(L"", std::wstring(out));
    EXPECT_EQ(0, CreateUrlShortcut((dir_ / L"no\\such\\dir.url").c_str(), url));
}

TEST(ShellIconName, KeepsOnlyFileNameCharactersInsideItsFolder) {
    using qv::IconCacheName;
    EXPECT_EQ(L"www.site.com_img_fav.ico", IconCacheName(L"HTTP://www.Site.com/img/Fav.ICO"));
    EXPECT_EQ(L"host_a.ico", IconCacheName(L"https://host/a.ico"));
    EXPECT_EQ(L"127.0.0.1_8080_x_y.ico_a=1&b=_c_", IconCacheName(L"http://127.0.0.1:8080/x/y.ico?a=1&b=|c*"));
    EXPECT_EQ(L".._.._.._windows_evil.ico", IconCacheName(L"http://../../..\\windows\\evil.ico"));
    EXPECT_EQ(L"c__windows_x.ico", IconCacheName(L"C:\\Windows\\x.ico"));
    EXPECT_EQ(L"__", IconCacheName(L"http://.."));
    EXPECT_EQ(L"a_", IconCacheName(L"a."));
    EXPECT_EQ(L"_con", IconCacheName(L"http://CON"));
    EXPECT_EQ(L"_nul.ico", IconCacheName(L"nul.ico"));
    EXPECT_EQ(L"_com1", IconCacheName(L"com1"));
    EXPECT_EQ(L"console.ico", IconCacheName(L"console.ico"));
    EXPECT_EQ(L"a_b", IconCacheName(std::wstring(L"a\tb")));
    EXPECT_EQ(L"图标.ico", IconCacheName(L"http://图标.ico"));
    EXPECT_EQ(L"", IconCacheName(L"http://"));
}

class ShellUrlIcon : public LinkFile {
protected:
    qvtest::ReportServer server_;

    std::wstring WriteUrlFile(const std::wstring& iconUrl) {
        std::string text = "[InternetShortcut]\r\nURL=http://example.invalid/\r\nIconFile=";
        for (wchar_t c : iconUrl) text += static_cast<char>(c);  // ASCII in these tests
        text += "\r\nIconIndex=0\r\n";
        std::wstring file = dir_ / L"icon.url";
        qvtest::WriteFileBytes(file, text.data(), text.size());
        return file;
    }
    static std::wstring TempFolder() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        return temp;
    }
};

TEST_F(ShellUrlIcon, DownloadsIntoTheTemporaryFolderOnlyWhenAsked) {
    ASSERT_TRUE(server_.Load()) << server_.error();
    std::wstring id = std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(::GetTickCount());
    // The path climbs with "..": the local copy must stay in the temporary folder.
    std::wstring iconUrl = server_.Url("normal", L"/shell/../icon" + id + L".ico?qv-hex=0000010001");
    std::wstring file = WriteUrlFile(iconUrl);
    std::wstring expected = TempFolder() + qv::IconCacheName(iconUrl);
    ::DeleteFileW(expected.c_str());

    wchar_t out[MAX_PATH] = L"stale";
    EXPECT_EQ(0, GetUrlShortcutIcon(file.c_str(), out, 0));
    EXPECT_EQ(L"", std::wstring(out));
    ASSERT_EQ(1, GetUrlShortcutIcon(file.c_str(), out, 1));
    EXPECT_EQ(expected, out);
    EXPECT_EQ(std::wstring::npos, std::wstring(out).find(L'\\', TempFolder().size()));
    DWORD size = 16;
    char bytes[16] = {};
    ASSERT_EQ(1, QvReadFile(out, bytes, size));
    EXPECT_EQ(std::string("\0\0\1\0\1", 5), std::string(bytes, size));
    EXPECT_TRUE(server_.WaitFor(
        [&](const qvtest::HttpRecord& r) { return r.target.find("icon") != std::string::npos &&
                                                  r.target.find(std::string(id.begin(), id.end())) !=
                                                      std::string::npos; },
        10000));

    // Present now: found without a download.
    wcscpy(out, L"");
    EXPECT_EQ(1, GetUrlShortcutIcon(file.c_str(), out, 0));
    EXPECT_EQ(expected, out);
    ::DeleteFileW(expected.c_str());
}

TEST_F(ShellUrlIcon, NothingWithoutAnIconOrAFile) {
    wchar_t out[MAX_PATH] = L"stale";
    std::string text = "[InternetShortcut]\r\nURL=http://example.invalid/\r\n";
    std::wstring plain = dir_ / L"plain.url";
    qvtest::WriteFileBytes(plain, text.data(), text.size());
    EXPECT_EQ(0, GetUrlShortcutIcon(plain.c_str(), out, 1));
    EXPECT_EQ(L"", std::wstring(out));
    EXPECT_EQ(0, GetUrlShortcutIcon((dir_ / L"none.url").c_str(), out, 1));

    // A download that fails leaves nothing behind and reports 0.
    std::wstring file = WriteUrlFile(L"http://127.0.0.1:1/none.ico");
    EXPECT_EQ(0, GetUrlShortcutIcon(file.c_str(), out, 1));
    EXPECT_FALSE(qvtest::FileExists(TempFolder() + L"127.0.0.1_1_none.ico"));

    // The Internet-cache icon: Wine keeps no site properties for internet
    // shortcuts, so only the failures can be shown here.
    wcscpy(out, L"stale");
    EXPECT_EQ(0, GetUrlCacheIconPath(file.c_str(), out));
    EXPECT_EQ(L"", std::wstring(out));
    EXPECT_EQ(0, GetUrlCacheIconPath((dir_ / L"none.url").c_str(), out));
    EXPECT_EQ(nullptr, GetUrlCacheIcon(file.c_str(), 32));
}
