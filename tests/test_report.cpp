// Usage reports as the local report server receives them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/QvReport.h"
#include "base/QvNet.h"
#include "base/QvUtil.h"
#include "support/ReportServer.h"

namespace {

qvtest::ReportServer g_server;

std::string Narrow(const std::wstring& s) {
    return std::string(s.begin(), s.end());  // ASCII only
}

// The text between "key=" and the next "&" (or the end).
std::string Query(const std::string& target, const char* key) {
    std::string k = std::string(key) + "=";
    size_t at = target.find("?" + k);
    if (at == std::string::npos) at = target.find("&" + k);
    if (at == std::string::npos) return "<none>";
    at += k.size() + 1;
    return target.substr(at, target.find('&', at) - at);
}

class Report : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(g_server.Load()) << g_server.error();
        SetReportHost(g_server.Host("normal").c_str());
        GetReportUrl(url_);
    }
    void TearDown() override { SetReportHost(nullptr); }

    // The first report whose target starts with `prefix`.
    bool Await(const std::string& prefix, qvtest::HttpRecord* found) {
        return g_server.WaitFor(
            [&](const qvtest::HttpRecord& r) { return r.target.rfind(prefix, 0) == 0; }, Bound(),
            found);
    }
    // A report may take up to the client's deadline (a connect that is
    // retried, a slow answer) before it reaches the server or is given up.
    static DWORD Bound() { return static_cast<DWORD>(CQvNet::Instance().GetDeadline()) + 5000; }

    wchar_t url_[200] = {};
};

}  // namespace

TEST_F(Report, OpenAndUninstallReportsCarryTypeValueUidAndTicks) {
    EXPECT_EQ(L"http://" + g_server.Host("normal") + L"/report.asp", std::wstring(url_));
    int before = static_cast<int>(::GetTickCount());
    DoReport(url_, L"open", L"Talo_Uninstall");
    DoReport(url_, L"uninstall", L"中文");

    qvtest::HttpRecord open, uninstall;
    ASSERT_TRUE(Await("/report.asp?type=open&value=Talo_Uninstall&uuid=", &open));
    ASSERT_TRUE(Await("/report.asp?type=uninstall&value=%e4%b8%ad%e6%96%87&uuid=", &uninstall));
    int after = static_cast<int>(::GetTickCount());
    EXPECT_EQ("GET", open.method);

    // The machine's stored identifier, the same in every report.
    wchar_t uid[50] = {};
    CreateUID(uid, 1);
    EXPECT_EQ(Narrow(uid), Query(open.target, "uuid"));
    EXPECT_EQ(Narrow(uid), Query(uninstall.target, "uuid"));
    // sign: the tick count when the request was built, the last key.
    std::string sign = Query(uninstall.target, "sign");
    EXPECT_EQ(uninstall.target.size(), uninstall.target.rfind("&sign=") + 6 + sign.size());
    int ticks = std::atoi(sign.c_str());
    EXPECT_EQ(std::to_string(ticks), sign);
    EXPECT_GE(ticks, before);
    EXPECT_LE(ticks, after);
}

TEST_F(Report, OverlongTypesAndUrlsAreNotSentAndOverlongValuesGoEmpty) {
    std::string tag = std::to_string(::GetCurrentProcessId()) + "x" + std::to_string(::GetTickCount());
    std::wstring t29(tag.begin(), tag.end()), t30;
    t29.resize(29, L'a');
    t30 = t29;
    t30.resize(30, L'b');
    std::wstring longUrl = std::wstring(url_) + L"/" + std::wstring(200, L'u');
    DoReport(url_, t30.c_str(), L"thirty");
    DoReport(longUrl.c_str(), t29.c_str(), L"long url");
    DoReport(url_, t29.c_str(), std::wstring(100, L'v').c_str());
    DoReport(url_, t29.c_str(), nullptr);
    DoReport(url_, t29.c_str(), std::wstring(99, L'中').c_str());
    DoReport(url_, nullptr, L"no type");
    DoReport(nullptr, t29.c_str(), L"no url");

    std::string prefix = "/report.asp?type=" + Narrow(t29) + "&value=";
    qvtest::HttpRecord r;
    // A 100-character value and a missing one both go out empty.
    auto empties = [&] {
        int n = 0;
        for (const auto& x : g_server.Records()) n += x.target.rfind(prefix + "&uuid=", 0) == 0;
        return n;
    };
    for (DWORD start = ::GetTickCount(); empties() < 2 && ::GetTickCount() - start < Bound();)
        ::Sleep(50);
    if (empties() != 2) {
        for (const auto& x : g_server.Records())
            if (x.target.find(Narrow(t29)) != std::string::npos)
                ADD_FAILURE() << "received: " << x.target;
    }
    ASSERT_EQ(2, empties());
    // 99 Chinese characters escape to 891 characters and go out whole.
    std::string escaped;
    for (int i = 0; i < 99; ++i) escaped += "%e4%b8%ad";
    ASSERT_TRUE(Await(prefix + escaped + "&uuid=", &r));

    ::Sleep(500);  // the refused ones would have arrived with the others
    for (const auto& x : g_server.Records()) {
        EXPECT_EQ(std::string::npos, x.target.find(Narrow(t30)));
        EXPECT_EQ(std::string::npos, x.target.find("value=long%20url"));
    }
}

TEST(ReportHost, BuiltInHostUnlessTheProductNamesOne) {
    wchar_t url[200];
    SetReportHost(nullptr);
    GetReportUrl(url);
    EXPECT_EQ(std::wstring(L"http://") + QV_REPORT_HOST + L"/report.asp", url);
    GetCrashUrl(url);
    EXPECT_EQ(std::wstring(L"http://") + QV_REPORT_HOST + L"/api.ashx", url);
    EXPECT_TRUE(SetReportHost(L"127.0.0.1:8080"));
    GetCrashUrl(url);
    EXPECT_STREQ(L"http://127.0.0.1:8080/api.ashx", url);
    // A name that does not fit is not cut: the built-in host is used.
    EXPECT_FALSE(SetReportHost(std::wstring(128, L'h').c_str()));
    GetCrashUrl(url);
    EXPECT_EQ(std::wstring(L"http://") + QV_REPORT_HOST + L"/api.ashx", url);
    SetReportHost(nullptr);
}
