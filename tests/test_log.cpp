// Logger: the registry switch (both views), forcing, a product's own names, daily files, the line
// format in the ANSI code page, and the shared-memory channel.
#include <gtest/gtest.h>

#include <string>

#include "base/QvLog.h"
#include "base/QvLogSeam.h"
#include "base/QvUtil.h"
#include "support/HostLink.h"
#include "support/TestUtil.h"

namespace {

SYSTEMTIME g_now{};
void WINAPI FakeClock(SYSTEMTIME* t) { *t = g_now; }

void SetNow(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s) {
    g_now = SYSTEMTIME{y, mo, 0, d, h, mi, s, 0};
}

std::wstring LogPath(int y, int m, int d, const wchar_t* prefix = L"QV-") {
    wchar_t folder[MAX_PATH] = {};
    GetCurPath(folder);
    return std::wstring(folder) + prefix + std::to_wstring(y) + L"-" + std::to_wstring(m) +
           L"-" + std::to_wstring(d) + L".log";
}

std::string ReadAll(const std::wstring& path) {
    std::string data;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return data;
    char buf[8192];
    DWORD got = 0;
    while (::ReadFile(f, buf, sizeof(buf), &got, nullptr) && got) data.append(buf, got);
    ::CloseHandle(f);
    return data;
}

// The switch value "debug" under HKLM\SOFTWARE\Quorvel (or a product's
// key) in one registry view.
void SetSwitch(REGSAM view, const wchar_t* value, const wchar_t* under = L"SOFTWARE\\Quorvel") {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, under, 0, nullptr, 0,
                          KEY_ALL_ACCESS | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    if (value)
        ::RegSetValueExW(key, L"debug", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                         static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    else
        ::RegDeleteValueW(key, L"debug");
    ::RegCloseKey(key);
}

void ClearSwitch() {
    SetSwitch(KEY_WOW64_64KEY, nullptr);
    SetSwitch(KEY_WOW64_32KEY, nullptr);
}

class Log : public ::testing::Test {
protected:
    void SetUp() override {
        qv::seam::SetLogClock(&FakeClock);
        ClearSwitch();
        CQvLog::Instance().ForceLog(false);
        SetNow(2014, 3, 5, 9, 7, 2);
        ::DeleteFileW(LogPath(2014, 3, 5).c_str());
    }
    void TearDown() override {
        CQvLog::Instance().ForceLog(false);
        ClearSwitch();
        ::DeleteFileW(LogPath(2014, 3, 5).c_str());
        qv::seam::SetLogClock(nullptr);
    }
};

}  // namespace

TEST_F(Log, TheRegistrySwitchIsReadOnEveryWriteFromEitherView) {
    const std::wstring file = LogPath(2014, 3, 5);
    WriteLog(L"off");
    EXPECT_FALSE(qvtest::FileExists(file));

    for (const wchar_t* notOn : {L"1 ", L"true", L"0", L""}) {
        SetSwitch(KEY_WOW64_64KEY, notOn);
        WriteLog(L"still off");
    }
    EXPECT_FALSE(qvtest::FileExists(file));

    // Only the 64-bit view says "1": a 32-bit program finds it on its second
    // read, a 64-bit one on its first.
    SetSwitch(KEY_WOW64_64KEY, L"1");
    WriteLog(L"on from the 64-bit view");
    ClearSwitch();
    SetSwitch(isWow64() ? KEY_WOW64_32KEY : KEY_WOW64_64KEY, L"1");
    CQvLog::Instance().WriteLog2(L"on from %s view %d", L"the program's own", 0);
    ClearSwitch();
    WriteLog(L"off again");
    EXPECT_EQ("2014-03-05 09:07:02\ton from the 64-bit view\r\n"
              "2014-03-05 09:07:02\ton from the program's own view 0\r\n",
              ReadAll(file));
}

TEST_F(Log, AProductNamesItsOwnSwitchAndFileButNoOtherFolder) {
    CQvLog& log = CQvLog::Instance();
    const wchar_t kProductKey[] = L"SOFTWARE\\QvLogProductTest";
    const std::wstring ours = LogPath(2014, 3, 5, L"产品-");
    ::DeleteFileW(ours.c_str());
    ASSERT_TRUE(log.SetSwitchKey(kProductKey));
    ASSERT_TRUE(log.SetFilePrefix(L"产品-"));
    SetSwitch(KEY_WOW64_64KEY, L"1");  // the uninstaller's switch no longer counts
    WriteLog(L"under the uninstaller's key");
    ClearSwitch();
    const REGSAM own = isWow64() ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    SetSwitch(own, L"1", kProductKey);
    WriteLog(L"under the product's key");

    // Names that would leave the program's folder, or not fit, change nothing.
    for (const wchar_t* bad : {L"..\\up-", L"a/b-", L"C:x-", L"sixteen-units-xx"})
        EXPECT_FALSE(log.SetFilePrefix(bad)) << bad;
    EXPECT_FALSE(log.SetSwitchKey(std::wstring(128, L'k').c_str()));
    WriteLog(L"names kept");
    SetSwitch(own, nullptr, kProductKey);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kProductKey, own, 0);

    // Null goes back to the uninstaller's own names.
    EXPECT_TRUE(log.SetSwitchKey(nullptr));
    EXPECT_TRUE(log.SetFilePrefix(nullptr));
    SetSwitch(KEY_WOW64_64KEY, L"1");
    WriteLog(L"default again");
    EXPECT_EQ("2014-03-05 09:07:02\tunder the product's key\r\n"
              "2014-03-05 09:07:02\tnames kept\r\n",
              ReadAll(ours));
    EXPECT_EQ("2014-03-05 09:07:02\tdefault again\r\n", ReadAll(LogPath(2014, 3, 5)));
    ::DeleteFileW(ours.c_str());
}

TEST_F(Log, ForceOverridesTheSwitchUntilReleased) {
    const std::wstring file = LogPath(2014, 3, 5);
    CQvLog::Instance().ForceLog(true);
    WriteLog(L"forced");
    CQvLog::Instance().ForceLog(false);
    WriteLog(L"released");
    EXPECT_EQ("2014-03-05 09:07:02\tforced\r\n", ReadAll(file));
}

// The program's folder may be one a standard user can write, and the
// program may run elevated: a link planted under the log's name must not
// make it append to another file.
TEST_F(Log, ALinkPlantedUnderTheLogsNameIsNotWrittenThrough) {
    qvtest::TempDir tmp(L"qvloglink");
    std::wstring canary = tmp / L"canary.txt";
    ASSERT_TRUE(qvtest::WriteFileBytes(canary, "keep", 4));
    const std::wstring file = LogPath(2014, 3, 5);
    ASSERT_TRUE(qvtest::MakeLink(file, canary));
    CQvLog::Instance().ForceLog(true);
    WriteLog(L"through the link");
    CQvLog::Instance().ForceLog(false);
    EXPECT_EQ("keep", ReadAll(canary));
    qvtest::RemoveLink(file);
    // A plain log file there is written as before.
    CQvLog::Instance().ForceLog(true);
    WriteLog(L"plain");
    EXPECT_EQ("2014-03-05 09:07:02\tplain\r\n", ReadAll(file));
}

TEST_F(Log, LinesAcrossMidnightLandInTwoFiles) {
    CQvLog::Instance().ForceLog(true);
    ::DeleteFileW(LogPath(2014, 1, 9).c_str());
    ::DeleteFileW(LogPath(2014, 1, 10).c_str());
    SetNow(2014, 1, 9, 23, 59, 59);
    WriteLog(L"late");
    SetNow(2014, 1, 10, 0, 0, 1);
    WriteLog(L"early");
    WriteLog(L"early again");
    EXPECT_EQ("2014-01-09 23:59:59\tlate\r\n", ReadAll(LogPath(2014, 1, 9)));
    EXPECT_EQ("2014-01-10 00:00:01\tearly\r\n2014-01-10 00:00:01\tearly again\r\n",
              ReadAll(LogPath(2014, 1, 10)));
    ::DeleteFileW(LogPath(2014, 1, 9).c_str());
    ::DeleteFileW(LogPath(2014, 1, 10).c_str());
}

TEST_F(Log, FormattedMessagesAreCutAndWrittenInTheAnsiCodePage) {
    CQvLog& log = CQvLog::Instance();
    log.ForceLog(true);
    std::wstring big(2000, L'w');
    log.WriteLog2(L"%ls", big.c_str());
    WriteLog(std::wstring(3000, L'u').c_str());  // WriteLog itself has no limit
    // 中文 in the thread's code page; a Thai letter has no place in 936 or 1252.
    WriteLog(L"中文\x0E01");
    std::string text = ReadAll(LogPath(2014, 3, 5));
    std::string stamp = "2014-03-05 09:07:02\t";
    std::string expected = stamp + std::string(1023, 'w') + "\r\n" + stamp +
                           std::string(3000, 'u') + "\r\n";
    ASSERT_EQ(expected, text.substr(0, expected.size()));
    std::string last = text.substr(expected.size());
    if (::GetACP() == 936)
        EXPECT_EQ(stamp + "\xD6\xD0\xCE\xC4?\r\n", last);
    else
        EXPECT_EQ(stamp + "???\r\n", last);
}

namespace {

// The UTF-16 units of a named mapping's first `units` positions.
std::wstring ReadMapping(const wchar_t* name, size_t units) {
    HANDLE map = ::OpenFileMappingW(FILE_MAP_READ, FALSE, name);
    if (!map) return L"<none>";
    auto* view = static_cast<const wchar_t*>(::MapViewOfFile(map, FILE_MAP_READ, 0, 0, 0));
    std::wstring s(view, units);
    ::UnmapViewOfFile(view);
    ::CloseHandle(map);
    return s;
}

}  // namespace

TEST_F(Log, SharedMemoryLinesFollowTheOffsetAndStayInsideTheBlock) {
    std::wstring a = L"QvLogTestA" + std::to_wstring(::GetCurrentProcessId());
    std::wstring b = L"QvLogTestB" + std::to_wstring(::GetCurrentProcessId());
    CQvLog log;  // a fresh logger: offset 0
    log.WriteLog3(L"lost %d", 1);  // no block yet: dropped, the offset still moves
    const size_t first = 20 + 6 + 2;
    log.SetMemName(a.c_str(), 200);  // 100 units
    log.WriteLog3(L"kept %ls", L"2");
    const std::wstring line2 = L"2014-03-05 09:07:02\tkept 2\r\n";
    std::wstring mem = ReadMapping(a.c_str(), 120);
    EXPECT_EQ(std::wstring(first, L'\0'), mem.substr(0, first));
    EXPECT_EQ(line2 + L'\0', mem.substr(first, line2.size() + 1));

    // 100 units of message do not fit in what is left: the line is cut so
    // that it and its terminator end exactly at the block's end.
    log.WriteLog3(L"%ls", std::wstring(100, L'x').c_str());
    mem = ReadMapping(a.c_str(), 120);
    size_t at = first + line2.size();
    std::wstring cut = (L"2014-03-05 09:07:02\t" + std::wstring(100, L'x')).substr(0, 100 - at - 1);
    EXPECT_EQ(cut + L'\0', mem.substr(at, 100 - at));
    EXPECT_EQ(std::wstring(20, L'\0'), mem.substr(100, 20)) << "written past the block";

    // A second block replaces the first: its mapping is closed.
    log.SetMemName(b.c_str(), 4096);
    EXPECT_EQ(L"<none>", ReadMapping(a.c_str(), 1));
    EXPECT_NE(L"<none>", ReadMapping(b.c_str(), 1));
}
