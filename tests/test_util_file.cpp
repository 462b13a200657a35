// Paths, files and folders, and the installed-software search.
#include <gtest/gtest.h>

#include <string>

#include "base/QvScoped.h"
#include "base/QvUtil.h"
#include "support/TestUtil.h"

namespace {

std::wstring Folder(const std::wstring& path) {
    return path.substr(0, path.rfind(L'\\') + 1);
}

std::wstring Extracted(std::wstring path) {
    wchar_t buffer[MAX_PATH] = {};
    path.copy(buffer, MAX_PATH - 1);
    ExtractPath(buffer);
    return buffer;
}

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// An uninstall entry made for one test and removed afterwards.
class Product {
public:
    Product(HKEY root, REGSAM view, const std::wstring& key, const std::wstring& name,
            const std::wstring& version)
        : root_(root), view_(view), path_(kUninstall + key) {
        qv::ScopedKey k;
        ok_ = ::RegCreateKeyExW(root, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                k.put(), nullptr) == ERROR_SUCCESS;
        Set(k.get(), L"DisplayName", name);
        if (!version.empty()) Set(k.get(), L"DisplayVersion", version);
    }
    ~Product() { ::RegDeleteKeyExW(root_, path_.c_str(), view_, 0); }
    Product(const Product&) = delete;
    Product& operator=(const Product&) = delete;
    bool ok() const { return ok_; }

private:
    static void Set(HKEY k, const wchar_t* name, const std::wstring& value) {
        ::RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    HKEY root_;
    REGSAM view_;
    std::wstring path_;
    bool ok_ = false;
};

std::wstring Unique(const wchar_t* tag) {
    return std::wstring(tag) + std::to_wstring(::GetCurrentProcessId());
}

}  // namespace

TEST(Paths, ProgramAndModuleFolders) {
    wchar_t out[MAX_PATH] = {};
    GetCurPath(out);
    EXPECT_EQ(Folder(qvtest::SelfPath()), out);
    GetCurPathEx(nullptr, out);
    EXPECT_EQ(Folder(qvtest::SelfPath()), out);

    wchar_t kernel[MAX_PATH] = {};
    ::GetModuleFileNameW(::GetModuleHandleW(L"kernel32.dll"), kernel, MAX_PATH);
    GetCurPathEx(L"kernel32.dll", out);
    EXPECT_EQ(Folder(kernel), out);
    GetCurPathEx(L"not-loaded-module.dll", out);
    EXPECT_STREQ(L"", out) << "an unloaded module has no folder";
}

TEST(Paths, SpecialFolders) {
    wchar_t out[MAX_PATH] = {};
    EXPECT_EQ(1, GetProgramsPath(out));
    EXPECT_NE(nullptr, std::wcsstr(out, L"Programs")) << out;
    EXPECT_EQ(1, GetDesktopPath(out));
    EXPECT_NE(L'\0', out[0]);
    EXPECT_EQ(1, GetProgramFilePath(out));
    EXPECT_NE(L'\0', out[0]);
    EXPECT_EQ(1, GetStartMenuPath(out));
    EXPECT_NE(L'\0', out[0]);
    ASSERT_EQ(1, GetQuickLaunchPath(out, 0));
    EXPECT_NE(std::wstring::npos,
              std::wstring(out).find(L"\\Microsoft\\Internet Explorer\\Quick Launch"));
    ASSERT_EQ(1, GetQuickLaunchPath(out, 1));
    EXPECT_NE(std::wstring::npos, std::wstring(out).find(L"Quick Launch\\User Pinned\\TaskBar"));
}

TEST(Paths, ExtractPath) {
    EXPECT_EQ(L"C:\\a b\\", Extracted(L"\"C:\\a b\\app.exe\" /S"));
    EXPECT_EQ(L"C:\\a\\", Extracted(L"C:\\a\\b.exe"));
    EXPECT_EQ(L"\\x", Extracted(L"\\x")) << "a backslash at the start is left alone";
    EXPECT_EQ(L"name.exe", Extracted(L"name.exe"));
}

TEST(Files, DirTreeAndIsDir) {
    qvtest::TempDir dir;
    std::wstring file = dir / L"a\\b\\\\c\\file.txt";
    EXPECT_EQ(1, CreateDirTree(file.c_str()));
    EXPECT_EQ(1, isDir((dir / L"a\\b\\c").c_str()));
    EXPECT_FALSE(qvtest::FileExists(file)) << "only the folders are made";
    EXPECT_EQ(1, CreateDirTree((dir / L"a").c_str())) << "an existing path";
    EXPECT_EQ(1, CreateFolder((dir / L"d").c_str()));
    EXPECT_EQ(0, CreateFolder((dir / L"d").c_str()));
    EXPECT_EQ(0, CreateFolder((dir / L"x\\y").c_str()));

    ASSERT_TRUE(qvtest::WriteFileBytes(dir / L"f", "x", 1));
    EXPECT_EQ(0, isDir((dir / L"f").c_str()));
    EXPECT_EQ(0, isDir((dir / L"missing").c_str()));
    EXPECT_EQ(0, isDir(nullptr));
}

TEST(Files, WriteReadSizeAndTimes) {
    qvtest::TempDir dir;
    std::wstring path = dir / L"data.bin";
    char data[] = "0123456789";
    ASSERT_EQ(1, QvWriteFile(path.c_str(), data, 10));
    EXPECT_EQ(10, FileSize(path.c_str()));
    ASSERT_EQ(1, QvWriteFile(path.c_str(), data, 4));
    EXPECT_EQ(4, FileSize(path.c_str())) << "the file is truncated";

    char back[16] = {};
    DWORD size = sizeof(back);
    ASSERT_EQ(1, QvReadFile(path.c_str(), back, size));
    EXPECT_EQ(4u, size);
    EXPECT_STREQ("0123", back);
    size = 2;
    ASSERT_EQ(1, QvReadFile(path.c_str(), back, size));
    EXPECT_EQ(2u, size);
    size = 5;
    EXPECT_EQ(0, QvReadFile((dir / L"missing").c_str(), back, size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(0, QvWriteFile((dir / L"no\\such\\dir").c_str(), data, 1));
    EXPECT_EQ(0, FileSize((dir / L"missing").c_str()));

    SYSTEMTIME written{}, now{};
    ASSERT_EQ(1, FileTime(path.c_str(), nullptr, &written, nullptr));
    ::GetLocalTime(&now);
    EXPECT_EQ(now.wYear, written.wYear);
    EXPECT_EQ(now.wDay, written.wDay);
    EXPECT_EQ(0, FileTime((dir / L"missing").c_str(), &written, nullptr, nullptr));
    EXPECT_EQ(0, FileTime(nullptr, &written, nullptr, nullptr));
}

TEST(Files, UsedSpace) {
    EXPECT_EQ(0u, GetPathUseSpace(L""));
    EXPECT_EQ(0u, GetPathUseSpace(nullptr));
    EXPECT_GT(GetPathUseSpace(L"C:\\"), 0u);
    qvtest::TempDir dir;
    std::string block(3000, 'x');
    ASSERT_TRUE(qvtest::WriteFileBytes(dir / L"a", block.data(), block.size()));
    ASSERT_EQ(1, CreateFolder((dir / L"sub").c_str()));
    ASSERT_TRUE(qvtest::WriteFileBytes(dir / L"sub\\b", block.data(), 1000));
    EXPECT_EQ(0u, GetPathUseSpace((dir / L"missing").c_str()));
    if (::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        QV_SKIP_LACKING("folder-size") << "Wine's scripting runtime gives every folder size 0";
    EXPECT_EQ(4000u, GetPathUseSpace(dir.path().c_str()));
}

TEST(Files, VersionOfAFile) {
    wchar_t kernel[MAX_PATH] = {};
    ::GetModuleFileNameW(::GetModuleHandleW(L"kernel32.dll"), kernel, MAX_PATH);
    wchar_t out[MAX_PATH] = L"junk";
    ASSERT_EQ(1, GetFileVer(kernel, out));
    int a = -1, b = -1, c = -1, d = -1;
    EXPECT_EQ(4, swscanf(out, L"%d.%d.%d.%d", &a, &b, &c, &d)) << out;
    EXPECT_GT(a, 0);

    qvtest::TempDir dir;
    ASSERT_TRUE(qvtest::WriteFileBytes(dir / L"plain.txt", "text", 4));
    EXPECT_EQ(0, GetFileVer((dir / L"plain.txt").c_str(), out));
    EXPECT_STREQ(L"", out);
}

TEST(Installed, SearchesTheMachineThenTheUser) {
    std::wstring name = Unique(L"QvTestProduct");
    std::wstring version(60, L'9');  // longer than the 49 characters kept
    Product mine(HKEY_CURRENT_USER, 0, Unique(L"qvtest-cu-"), name + L" Suite", L"1.2.3");
    ASSERT_TRUE(mine.ok());
    wchar_t out[MAX_PATH] = {};
    EXPECT_EQ(1, GetSoftVer(name.c_str(), out));
    EXPECT_STREQ(L"1.2.3", out);
    EXPECT_EQ(1, CheckInstalled(name.c_str()));
    EXPECT_EQ(1, CheckInstalled((name + L" Su").c_str()));
    EXPECT_EQ(0, CheckInstalled((Unique(L"qvtestproduct")).c_str())) << "the prefix is case-sensitive";
    EXPECT_EQ(0, CheckInstalled((name + L" Suite Pro").c_str()));
    EXPECT_EQ(0, GetSoftVer(L"QvNoSuchProduct-XYZ", out));
    EXPECT_STREQ(L"", out);

    // The machine-wide entry of the program's own view wins over the user's.
    Product machine(HKEY_LOCAL_MACHINE, isWow64() ? KEY_WOW64_32KEY : 0,
                    Unique(L"qvtest-lm-"), name, version);
    ASSERT_TRUE(machine.ok());
    EXPECT_EQ(1, GetSoftVer(name.c_str(), out));
    EXPECT_EQ(std::wstring(49, L'9'), out);
}

// Under WOW64 the 64-bit view is searched after the program's own; for a
// 64-bit program it is its own.
TEST(Installed, TheNativeViewIsSearchedToo) {
    wchar_t out[MAX_PATH] = {};
    std::wstring only64 = Unique(L"QvTest64Only");
    Product wide(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, Unique(L"qvtest-64-"), only64, L"6.4");
    ASSERT_TRUE(wide.ok());
    EXPECT_EQ(1, GetSoftVer(only64.c_str(), out));
    EXPECT_STREQ(L"6.4", out);
}
