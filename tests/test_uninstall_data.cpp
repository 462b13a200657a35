// The data file: its byte layout, how the reader treats short and odd
// files, and the qvdat tool that writes and shows it.
#include <gtest/gtest.h>

#include <string>

#include "UninstallTestUtil.h"

using namespace uitest;

namespace {

std::wstring ToolPath() {
    std::wstring self = qvtest::SelfPath();
    return self.substr(0, self.rfind(L'\\') + 1) + L"qvdat.exe";
}

std::wstring Wide(const std::string& utf8) {
    std::wstring out(utf8.size(), L'\0');
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                  out.data(), static_cast<int>(out.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

struct ToolRun {
    int code = -1;
    std::string out, err;
};

// Runs qvdat with its standard output and error going to files.
ToolRun RunTool(const qvtest::TempDir& tmp, const std::wstring& args) {
    ToolRun run;
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    // Fresh names per run: a finished child's handles may still be closing.
    static int runs = 0;
    std::wstring stem = tmp / (L"tool" + std::to_wstring(++runs));
    std::wstring outPath = stem + L".out", errPath = stem + L".err";
    HANDLE out = ::CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                               0, nullptr);
    HANDLE err = ::CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                               0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + ToolPath() + L"\" " + args;
    if (::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                         nullptr, &si, &pi)) {
        if (::WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
            DWORD code = 0;
            ::GetExitCodeProcess(pi.hProcess, &code);
            run.code = static_cast<int>(code);
        }
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    ::CloseHandle(out);
    ::CloseHandle(err);
    run.out = ReadAll(outPath);
    run.err = ReadAll(errPath);
    return run;
}

std::wstring Q(const std::wstring& path) { return L"\"" + path + L"\""; }

int32_t IntAt(const std::string& bytes, size_t at) {
    int32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

std::wstring TextAt(const std::string& bytes, size_t at) {
    return reinterpret_cast<const wchar_t*>(bytes.data() + at);
}

struct Read {
    bool ok;
    UninstallHeader header;
    std::vector<UninstallEntry> entries, shortcuts;
};

Read ReadBack(const std::wstring& path) {
    Read r{};
    r.ok = ReadUninstallFile(path.c_str(), &r.header, &r.entries, &r.shortcuts);
    return r;
}

const char kChineseManifest[] =
    "# 塔洛播放器\n"
    "product = \"  塔洛播放器 𠀀 Pro \"\n"
    "regkey = {6A1B-塔洛}\n"
    "startmenu = 塔洛软件播放器\n"
    "installdir =\n"
    "file = C:\\ProgramData\\塔洛\\player.ini\n"
    "folder = C:\\Program Files\\塔洛\\缓存\n"
    "shortcut = C:\\Users\\Public\\Desktop\\塔洛帮助.lnk\n"
    "shortcut = D:\\塔洛\\x.lnk\n";

}  // namespace

TEST(UninstallData, WriterPutsEveryFieldAtItsOffsetAndTheToolAgrees) {
    qvtest::TempDir tmp(L"qvdata");
    std::wstring dat = tmp / L"a.dat";
    ASSERT_TRUE(WriteDat(dat, {.regKey = L"Key", .product = L"产品", .startMenu = L"菜单",
                               .entries = {Entry(1, L"C:\\f.txt"), Entry(0, L"C:\\d\\")},
                               .shortcuts = {Entry(1, L"C:\\s.lnk")}}));
    std::string bytes = ReadAll(dat);
    ASSERT_EQ(760u + 4 + 2 * 524 + 4 + 524, bytes.size());
    EXPECT_EQ(L"Key", TextAt(bytes, 0));
    EXPECT_EQ(L"产品", TextAt(bytes, 200));
    EXPECT_EQ(L"菜单", TextAt(bytes, 300));
    EXPECT_EQ(L"", TextAt(bytes, 360));
    EXPECT_EQ(2, IntAt(bytes, 760));
    EXPECT_EQ(1, IntAt(bytes, 764));
    EXPECT_EQ(L"C:\\f.txt", TextAt(bytes, 768));
    EXPECT_EQ(0, IntAt(bytes, 764 + 524));
    EXPECT_EQ(1, IntAt(bytes, 764 + 2 * 524));
    EXPECT_EQ(L"C:\\s.lnk", TextAt(bytes, 764 + 2 * 524 + 8));

    std::string manifest = "regkey = Key\nproduct = 产品\nstartmenu = 菜单\nfile = C:\\f.txt\n"
                           "folder = C:\\d\nshortcut = C:\\s.lnk\n";
    ASSERT_TRUE(qvtest::WriteFileBytes(tmp / L"m.txt", manifest.data(), manifest.size()));
    ToolRun run = RunTool(tmp, L"write " + Q(tmp / L"m.txt") + L" " + Q(tmp / L"b.dat"));
    ASSERT_EQ(0, run.code) << run.err;
    EXPECT_EQ(bytes, ReadAll(tmp / L"b.dat"));
}

TEST(UninstallData, OwnFolderModeTakesTheNextCountAsShortcuts) {
    qvtest::TempDir tmp(L"qvdata");
    std::wstring dat = tmp / L"a.dat";
    ASSERT_TRUE(WriteDat(dat, {.installDir = L"C:\\App", .shortcuts = {Entry(1, L"C:\\a.lnk"),
                                                                       Entry(1, L"C:\\b.lnk")}}));
    Read r = ReadBack(dat);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.entries.empty());
    ASSERT_EQ(2u, r.shortcuts.size());
    EXPECT_STREQ(L"C:\\b.lnk", r.shortcuts[1].path);

    // A header alone: own-folder mode, no shortcuts.
    std::string bytes = ReadAll(dat);
    ASSERT_TRUE(qvtest::WriteFileBytes(dat, bytes.data(), 760));
    r = ReadBack(dat);
    EXPECT_STREQ(L"C:\\App", r.header.installDir);
    EXPECT_TRUE(r.shortcuts.empty());
    // The writer refuses entries it would have to leave out.
    UninstallEntry e = Entry(1, L"C:\\x");
    UninstallHeader h{};
    SetField(h.installDir, L"C:\\App");
    EXPECT_FALSE(WriteUninstallFile((tmp / L"c.dat").c_str(), h, &e, 1, nullptr, 0));
}

TEST(UninstallData, EmptyUnterminatedAndMissingRecordsAreDropped) {
    qvtest::TempDir tmp(L"qvdata");
    std::wstring dat = tmp / L"a.dat";
    UninstallEntry full{};
    full.isFile = 1;
    for (wchar_t& c : full.path) c = L'x';  // no terminator: a cut path
    ASSERT_TRUE(WriteDat(dat, {.regKey = std::wstring(100, L'k'),
                               .product = L"P",
                               .entries = {Entry(1, L"C:\\a"), Entry(0, L""), full,
                                           Entry(1, L"C:\\b")}}));
    std::string bytes = ReadAll(dat);
    // Announce 1000 entries: the file ends after four, and no shortcut
    // count is left to read.
    int32_t many = 1000;
    std::memcpy(bytes.data() + 760, &many, 4);
    bytes.resize(bytes.size() - 4);
    ASSERT_TRUE(qvtest::WriteFileBytes(dat, bytes.data(), bytes.size()));
    Read r = ReadBack(dat);
    ASSERT_EQ(2u, r.entries.size());
    EXPECT_STREQ(L"C:\\a", r.entries[0].path);
    EXPECT_STREQ(L"C:\\b", r.entries[1].path);
    EXPECT_TRUE(r.shortcuts.empty());
    // A name that filled its field is never used cut.
    EXPECT_STREQ(L"", FieldText(r.header.regKeyName));
    EXPECT_STREQ(L"P", FieldText(r.header.productName));

    // A negative count reads nothing.
    int32_t negative = -5;
    std::memcpy(bytes.data() + 760, &negative, 4);
    ASSERT_TRUE(qvtest::WriteFileBytes(dat, bytes.data(), bytes.size()));
    EXPECT_TRUE(ReadBack(dat).entries.empty());
    EXPECT_FALSE(ReadBack(tmp / L"missing.dat").ok);
}

TEST(UninstallData, CutAtEveryOffsetYieldsOnlyWholeRecordsOrNone) {
    qvtest::TempDir tmp(L"qvdata");
    std::wstring dat = tmp / L"a.dat";
    DatLayout layout{.regKey = L"Key", .product = L"产品", .startMenu = L"菜单",
                 .entries = {Entry(1, L"C:\\p\\file.txt"), Entry(0, L"C:\\p\\dir\\")},
                 .shortcuts = {Entry(1, L"C:\\p\\s.lnk")}};
    ASSERT_TRUE(WriteDat(dat, layout));
    std::string bytes = ReadAll(dat);
    for (size_t n = 0; n <= bytes.size(); ++n) {
        ASSERT_TRUE(qvtest::WriteFileBytes(dat, bytes.data(), n));
        Read r = ReadBack(dat);
        UninstallHeader header{};
        bool headerOk = ReadUninstallHeader(dat.c_str(), &header);
        ASSERT_EQ(n >= 760, headerOk) << n;
        if (n < 760) {
            // Part of a header is no header: a cut key name could be another's.
            EXPECT_STREQ(L"", r.header.regKeyName) << n;
            EXPECT_STREQ(L"", header.productName) << n;
        }
        size_t expectEntries = n < 764 ? 0 : std::min<size_t>(2, (n - 764) / 524);
        ASSERT_EQ(expectEntries, r.entries.size()) << n;
        for (size_t i = 0; i < r.entries.size(); ++i)
            EXPECT_STREQ(layout.entries[i].path, r.entries[i].path) << n;
        EXPECT_EQ(n == bytes.size() ? 1u : 0u, r.shortcuts.size()) << n;
    }
}

TEST(QvdatTool, RoundTripsEveryFieldIncludingChineseText) {
    qvtest::TempDir tmp(L"qvdata");
    ASSERT_TRUE(qvtest::WriteFileBytes(tmp / L"m.txt", kChineseManifest, sizeof(kChineseManifest) - 1));
    ToolRun run = RunTool(tmp, L"write " + Q(tmp / L"m.txt") + L" " + Q(tmp / L"产品.dat"));
    ASSERT_EQ(0, run.code) << run.err;

    Read r = ReadBack(tmp / L"产品.dat");
    ASSERT_TRUE(r.ok);
    EXPECT_STREQ(L"  塔洛播放器 𠀀 Pro ", r.header.productName);
    EXPECT_STREQ(L"{6A1B-塔洛}", r.header.regKeyName);
    EXPECT_STREQ(L"塔洛软件播放器", r.header.startMenuFolder);
    ASSERT_EQ(2u, r.entries.size());
    EXPECT_EQ(1, r.entries[0].isFile);
    EXPECT_STREQ(L"C:\\ProgramData\\塔洛\\player.ini", r.entries[0].path);
    EXPECT_EQ(0, r.entries[1].isFile);
    EXPECT_STREQ(L"C:\\Program Files\\塔洛\\缓存\\", r.entries[1].path);  // backslash added
    ASSERT_EQ(2u, r.shortcuts.size());
    EXPECT_STREQ(L"C:\\Users\\Public\\Desktop\\塔洛帮助.lnk", r.shortcuts[0].path);
    EXPECT_STREQ(L"D:\\塔洛\\x.lnk", r.shortcuts[1].path);

    run = RunTool(tmp, L"show " + Q(tmp / L"产品.dat"));
    ASSERT_EQ(0, run.code) << run.err;
    EXPECT_EQ(Wide("# qvUninstall.dat\n"
                   "regkey = {6A1B-塔洛}\n"
                   "product = \"  塔洛播放器 𠀀 Pro \"\n"
                   "startmenu = 塔洛软件播放器\n"
                   "installdir =\n"
                   "file = C:\\ProgramData\\塔洛\\player.ini\n"
                   "folder = C:\\Program Files\\塔洛\\缓存\\\n"
                   "shortcut = C:\\Users\\Public\\Desktop\\塔洛帮助.lnk\n"
                   "shortcut = D:\\塔洛\\x.lnk\n"),
              Wide(run.out));
    // What show prints, write takes back to the same bytes.
    ASSERT_TRUE(qvtest::WriteFileBytes(tmp / L"again.txt", run.out.data(), run.out.size()));
    ASSERT_EQ(0, RunTool(tmp, L"write " + Q(tmp / L"again.txt") + L" " + Q(tmp / L"again.dat")).code);
    EXPECT_EQ(ReadAll(tmp / L"产品.dat"), ReadAll(tmp / L"again.dat"));
}

TEST(QvdatTool, RefusesWhatDoesNotFitOrWouldBeRefusedAndWritesNothing) {
    qvtest::TempDir tmp(L"qvdata");
    struct Case {
        std::string manifest, message;
    } cases[] = {
        {"product = " + std::string(50, 'p') + "\n", "product: 50 UTF-16 units is too long; the field holds at most 49"},
        {"regkey = " + std::string(100, 'k') + "\n", "regkey: 100"},
        {"startmenu = " + std::string(30, 's') + "\n", "at most 29"},
        {"installdir = C:\\" + std::string(197, 'd') + "\n", "at most 199"},
        {"file = C:\\" + std::string(257, 'f') + "\n", "a path holds at most 259"},
        {"folder = C:\\" + std::string(256, 'f') + "\n", "a path holds at most 259"},
        {"installdir = C:\\App\nfile = C:\\App\\x\n", "need an empty installdir"},
        {"file = relative\\x.txt\n", "not on a drive"},
        {"folder = C:\\App\\..\\Windows\n", "not on a drive"},
        {"shortcut = \\\\server\\share\\x.lnk\n", "not on a drive"},
        {"installdir = C:\\100%\n", "percent"},
        {"installdir = C:\\A!B\n", "exclamation"},
        {"colour = red\n", "unknown key \"colour\""},
        {"product = a\nproduct = b\n", "given twice"},
        {"product = \xff\xfe\n", "not valid UTF-8"},
        {"just text\n", "expected \"key = value\""},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(qvtest::WriteFileBytes(tmp / L"m.txt", c.manifest.data(), c.manifest.size()));
        ToolRun run = RunTool(tmp, L"write " + Q(tmp / L"m.txt") + L" " + Q(tmp / L"out.dat"));
        EXPECT_EQ(1, run.code) << c.manifest;
        EXPECT_NE(std::string::npos, run.err.find(c.message)) << c.manifest << run.err;
        EXPECT_FALSE(Exists(tmp / L"out.dat")) << c.manifest;
    }
    // The limits themselves fit.
    std::string fits = "product = " + std::string(49, 'p') + "\nfile = C:\\" + std::string(256, 'f') + "\n";
    ASSERT_TRUE(qvtest::WriteFileBytes(tmp / L"m.txt", fits.data(), fits.size()));
    EXPECT_EQ(0, RunTool(tmp, L"write " + Q(tmp / L"m.txt") + L" " + Q(tmp / L"out.dat")).code);
    EXPECT_EQ(2, RunTool(tmp, L"bogus").code);
}

TEST(QvdatTool, ShowReportsWhatTheUninstallerWouldIgnore) {
    qvtest::TempDir tmp(L"qvdata");
    std::wstring dat = tmp / L"a.dat";
    ASSERT_TRUE(WriteDat(dat, {.product = L"P", .entries = {Entry(1, L"C:\\a"), Entry(1, L"C:\\b")}}));
    std::string bytes = ReadAll(dat);
    ASSERT_TRUE(qvtest::WriteFileBytes(dat, bytes.data(), 760 + 4 + 524 + 100));
    ToolRun run = RunTool(tmp, L"show " + Q(dat));
    EXPECT_EQ(1, run.code);
    EXPECT_NE(std::string::npos, run.out.find("file = C:\\a\n"));
    EXPECT_EQ(std::string::npos, run.out.find("C:\\b"));
    EXPECT_NE(std::string::npos, run.err.find("cut short"));

    ASSERT_TRUE(qvtest::WriteFileBytes(dat, bytes.data(), 700));
    run = RunTool(tmp, L"show " + Q(dat));
    EXPECT_EQ(1, run.code);
    EXPECT_NE(std::string::npos, run.err.find("fewer than the 760-byte header"));
    EXPECT_EQ(1, RunTool(tmp, L"show " + Q(tmp / L"missing.dat")).code);
}
