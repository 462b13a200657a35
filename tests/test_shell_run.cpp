// Starting programs and URLs: a stand-in program (qvargs.exe) records the
// command line and show state it was started with.
#include <gtest/gtest.h>

#include <string>

#include "base/QvScoped.h"
#include "base/QvShell.h"
#include "base/QvUtil.h"
#include "support/TestUtil.h"

namespace {

std::wstring BinFile(const wchar_t* name) {
    std::wstring self = qvtest::SelfPath();
    return self.substr(0, self.rfind(L'\\') + 1) + name;
}

class ShellRun : public ::testing::Test {
protected:
    qvtest::TempDir dir_{L"qvrun"};
    std::wstring record_ = dir_ / L"args.txt";
    std::wstring helper_ = BinFile(L"qvargs.exe");

    void SetUp() override { ::SetEnvironmentVariableW(L"QV_ARGS_OUT", record_.c_str()); }
    void TearDown() override { ::SetEnvironmentVariableW(L"QV_ARGS_OUT", nullptr); }

    // The show state and the arguments after the program's own name.
    bool Recorded(int* show, std::wstring* args) const {
        if (!qvtest::FileExists(record_)) return false;
        wchar_t text[2048] = {};
        DWORD size = sizeof(text) - sizeof(wchar_t);
        if (!QvReadFile(record_.c_str(), text, size)) return false;
        std::wstring all = text;
        size_t line = all.find(L'\n');
        *show = std::stoi(all.substr(0, line));
        std::wstring cmd = all.substr(line + 1);
        size_t end = cmd[0] == L'"' ? cmd.find(L'"', 1) + 1 : cmd.find(L' ');
        cmd = end == std::wstring::npos ? L"" : cmd.substr(end);
        *args = cmd.substr(std::min(cmd.find_first_not_of(L' '), cmd.size()));
        return true;
    }
};

// Saves the http handler's command and puts it back afterwards.
class HttpHandler {
public:
    HttpHandler() {
        ::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", 0, nullptr, 0,
                          KEY_READ | KEY_WRITE, nullptr, key_.put(), nullptr);
        wchar_t value[1024] = {};
        DWORD type = 0, bytes = sizeof(value) - sizeof(wchar_t);
        had_ = ::RegQueryValueExW(key_.get(), nullptr, nullptr, &type,
                                  reinterpret_cast<BYTE*>(value), &bytes) == ERROR_SUCCESS;
        type_ = type;
        old_ = value;
    }
    ~HttpHandler() {
        if (had_) Set(old_, type_);
        else ::RegDeleteValueW(key_.get(), nullptr);
    }
    HttpHandler(const HttpHandler&) = delete;
    HttpHandler& operator=(const HttpHandler&) = delete;
    bool Set(const std::wstring& command, DWORD type = REG_SZ) {
        return ::RegSetValueExW(key_.get(), nullptr, 0, type,
                                reinterpret_cast<const BYTE*>(command.c_str()),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }

private:
    qv::ScopedKey key_;
    bool had_ = false;
    DWORD type_ = REG_SZ;
    std::wstring old_;
};

}  // namespace

TEST_F(ShellRun, WaitsForTheProgramAndPassesItsArguments) {
    ASSERT_EQ(1, DoRun(helper_.c_str(), L"one \"two words\" 三", 1, SW_SHOWMINNOACTIVE));
    // It waited: the program has already written its record and ended.
    int show = -1;
    std::wstring args;
    ASSERT_TRUE(Recorded(&show, &args));
    EXPECT_EQ(SW_SHOWMINNOACTIVE, show);
    EXPECT_EQ(L"one \"two words\" 三", args);
}

TEST_F(ShellRun, WithoutWaitingTheProgramStillRuns) {
    ASSERT_EQ(1, DoRun(helper_.c_str(), L"later", 0, SW_SHOWNORMAL));
    int show = -1;
    std::wstring args;
    ASSERT_TRUE(qvtest::PumpUntil([&] { return Recorded(&show, &args); }, 60000));
    EXPECT_EQ(L"later", args);
    EXPECT_EQ(SW_SHOWNORMAL, show);
}

TEST_F(ShellRun, AMissingFileStillReturnsOne) {
    EXPECT_EQ(1, DoRun((dir_ / L"none.exe").c_str(), nullptr, 1, SW_SHOW));
    EXPECT_EQ(1, DoRun(nullptr, nullptr, 1, SW_SHOW));
    EXPECT_FALSE(qvtest::FileExists(record_));
}

TEST_F(ShellRun, OpensUrlsWithTheRegisteredBrowser) {
    HttpHandler handler;
    const wchar_t* url = L"http://example.invalid/page?a=1&b=2";
    // The usual form: the quoted program, its own switches and the URL.
    ASSERT_TRUE(handler.Set(L"\"" + helper_ + L"\" -nohome \"%1\""));
    OpenUrl(url, 1);
    int show = -1;
    std::wstring args;
    ASSERT_TRUE(Recorded(&show, &args));
    EXPECT_EQ(SW_SHOW, show);
    EXPECT_EQ(url, args);

    // A bare program path works as well.
    ::DeleteFileW(record_.c_str());
    ASSERT_TRUE(handler.Set(helper_));
    OpenUrl(L"https://example.invalid/", 1);
    ASSERT_TRUE(Recorded(&show, &args));
    EXPECT_EQ(L"https://example.invalid/", args);
}
