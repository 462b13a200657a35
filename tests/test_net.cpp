// HTTP client against the local report server: requests as the server saw
// them, gzip replies, POST, failures and their log lines, the proxy file.
#include <winsock2.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/QvLog.h"
#include "base/QvLogSeam.h"
#include "base/QvNet.h"
#include "base/QvNetSession.h"
#include "base/QvTrustSeam.h"
#include "base/QvZlib.h"
#include "base/QvUtil.h"
#include "support/Loopback.h"
#include "support/Planted.h"
#include "support/ReportServer.h"
#include "support/TestUtil.h"

namespace {

qvtest::ReportServer g_server;

std::wstring Unique(const wchar_t* tag) {
    static LONG n = 0;
    return std::wstring(tag) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(::InterlockedIncrement(&n));
}

std::string Narrow(const std::wstring& s) {
    return std::string(s.begin(), s.end());  // ASCII only
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The request whose target contains `marker`.
qvtest::HttpRecord Seen(const std::wstring& marker) {
    qvtest::HttpRecord r;
    std::string m = Narrow(marker);
    EXPECT_TRUE(g_server.WaitFor(
        [&](const qvtest::HttpRecord& x) { return x.target.find(m) != std::string::npos; },
        5000, &r))
        << "the server saw no request for " << m;
    return r;
}

SYSTEMTIME g_logDay{2003, 3, 0, 3, 12, 0, 0, 0};
void WINAPI LogClock(SYSTEMTIME* t) { *t = g_logDay; }

std::wstring LogFile() {
    wchar_t folder[MAX_PATH] = {};
    GetCurPath(folder);
    return std::wstring(folder) + L"QV-2003-3-3.log";
}

// A whole file's bytes; empty when it cannot be read.
std::string ReadBytes(const std::wstring& path) {
    std::string data;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return data;
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(f, buf, sizeof(buf), &got, nullptr) && got) data.append(buf, got);
    ::CloseHandle(f);
    return data;
}

std::string ReadLog() {
    return ReadBytes(LogFile());
}

std::string Ansi(const wchar_t* text) {
    char buf[256] = {};
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, buf, sizeof(buf), nullptr, nullptr);
    return buf;
}

class Net : public ::testing::Test {
protected:
    static void SetUpTestSuite() { g_server.Load(); }
    void SetUp() override {
        ASSERT_TRUE(g_server.Load()) << g_server.error();
        qv::seam::SetLogClock(&LogClock);
        ::DeleteFileW(LogFile().c_str());
    }
    void TearDown() override {
        CQvLog::Instance().ForceLog(false);
        ::DeleteFileW(LogFile().c_str());
        qv::seam::SetLogClock(nullptr);
    }
    char reply_[65536];
};

}  // namespace

TEST(NetUrl, HostPortAndPathAreSplitAsConnectedTo) {
    auto t = qv::net::SplitUrl(L"http://report.example.com/report.asp?type=open", 7);
    EXPECT_EQ(L"report.example.com", t.host);
    EXPECT_EQ(80, t.port);
    EXPECT_EQ(L"report.example.com", t.hostHeader);
    EXPECT_EQ(L"/report.asp?type=open", t.path);
    t = qv::net::SplitUrl(L"http://127.0.0.1:8080", 7);
    EXPECT_EQ(L"127.0.0.1", t.host);
    EXPECT_EQ(8080, t.port);
    EXPECT_EQ(L"127.0.0.1:8080", t.hostHeader);
    EXPECT_EQ(L"/", t.path);
    t = qv::net::SplitUrl(L"http://h:99999/x", 7);  // not a port: left to fail as a name
    EXPECT_EQ(L"h:99999", t.host);
    EXPECT_EQ(80, t.port);
    EXPECT_FALSE(t.secure);

    // https goes to 443 unless the URL names a port, in any case of letters.
    t = qv::net::SplitUrl(L"https://secure.example.com/api?x=1", 8);
    EXPECT_TRUE(t.secure);
    EXPECT_EQ(L"secure.example.com", t.host);
    EXPECT_EQ(443, t.port);
    EXPECT_EQ(L"/api?x=1", t.path);
    t = qv::net::SplitUrl(L"HTTPS://127.0.0.1:8443", 8);
    EXPECT_TRUE(t.secure);
    EXPECT_EQ(L"127.0.0.1", t.host);
    EXPECT_EQ(8443, t.port);
    EXPECT_EQ(L"/", t.path);
}

TEST_F(Net, GetSendsTheHeaderBlockInOrderAndReadsTheReply) {
    std::wstring id = Unique(L"get");
    ASSERT_EQ(1, GetUrlInfo(g_server.Url("normal", L"/net/get?id=" + id).c_str(), reply_, 100));
    EXPECT_STREQ("ok", reply_);
    EXPECT_EQ(2, CQvNet::Instance().GetInfoLen());

    qvtest::HttpRecord r = Seen(id);
    EXPECT_EQ("GET", r.method);
    EXPECT_EQ("HTTP/1.1", r.version);
    EXPECT_EQ("/net/get?id=" + Narrow(id), r.target);
    const char* order[][2] = {
        {"Accept", "text/html,application/xml;q=0.9,application/json,*/*;q=0.8"},
        {"Accept-Encoding", "gzip,deflate"},
        {"Accept-Language", "zh-CN,zh;q=0.5"},
        {"Accept-Charset", "gb2312,utf-8;q=0.7,*;q=0.7"},
        {"Host", nullptr},
        {"User-Agent", "Mozilla/5.0 (Windows NT 6.1)"}};
    size_t at = 0;
    for (const auto& [name, value] : order) {
        while (at < r.headers.size() && _stricmp(r.headers[at].first.c_str(), name) != 0) ++at;
        ASSERT_LT(at, r.headers.size()) << name << " missing or out of order";
        if (value) EXPECT_EQ(value, r.headers[at].second) << name;
    }
    // The explicit port is where we connected, and the Host header says so.
    EXPECT_EQ(Narrow(g_server.Host("normal")), *r.Header("Host"));

    // A URL with nothing after the host asks for "/".
    ASSERT_EQ(1, GetUrlInfo(g_server.Url("normal", L"").c_str(), reply_, 100));
    EXPECT_STREQ("ok", reply_);
}

TEST_F(Net, RepliesAreCutToTheBufferAndReadWholeWhenTheyFit) {
    std::wstring id = Unique(L"size");
    std::wstring url = g_server.Url("normal", L"/net/big?id=" + id + L"&qv-hex=" +
                                                  std::wstring(L"0123456789abcdef") +
                                                  L"&qv-repeat=5000");  // 40,000 bytes
    std::string expected;
    for (int i = 0; i < 5000; ++i) expected += "\x01\x23\x45\x67\x89\xab\xcd\xef";
    ASSERT_EQ(1, GetUrlInfo(url.c_str(), reply_, sizeof(reply_)));
    EXPECT_EQ(40000, CQvNet::Instance().GetInfoLen());
    EXPECT_TRUE(std::memcmp(expected.data(), reply_, expected.size()) == 0);
    EXPECT_EQ(0, reply_[40000]);

    ASSERT_EQ(1, GetUrlInfo(url.c_str(), reply_, 50));
    EXPECT_EQ(49, CQvNet::Instance().GetInfoLen());
    EXPECT_TRUE(std::memcmp(expected.data(), reply_, 49) == 0);
    EXPECT_EQ(0, reply_[49]);

    reply_[0] = 'x';
    ASSERT_EQ(1, GetUrlInfo(url.c_str(), reply_, 1));
    EXPECT_EQ(0, CQvNet::Instance().GetInfoLen());
    EXPECT_EQ(0, reply_[0]);
}

TEST_F(Net, GzipRepliesArriveInflated) {
    std::string text;
    for (int i = 0; i < 500; ++i) text += "gzip reply ";  // 5,500 bytes
    std::wstring query = L"&qv-hex=" + std::wstring(L"677a6970207265706c7920") + L"&qv-repeat=500";
    std::wstring id = Unique(L"gz");
    ASSERT_EQ(1, GetUrlInfo(g_server.Url("gzip", L"/net/gz?id=" + id + query).c_str(), reply_,
                            sizeof(reply_)));
    EXPECT_EQ(static_cast<int>(text.size()), CQvNet::Instance().GetInfoLen());
    EXPECT_EQ(text, std::string(reply_));
    EXPECT_EQ("gzip,deflate", *Seen(id).Header("Accept-Encoding"));

    // Inflated data longer than the buffer is cut to it.
    ASSERT_EQ(1, GetUrlInfo(g_server.Url("gzip", L"/net/gz2?" + query).c_str(), reply_, 100));
    EXPECT_EQ(99, CQvNet::Instance().GetInfoLen());
    EXPECT_EQ(text.substr(0, 99), std::string(reply_));
}

TEST_F(Net, PostSendsTheFormAndTreatsBinaryRepliesAsCompressed) {
    std::wstring id = Unique(L"post");
    char body[] = "a=1&b=%e4%b8%ad";
    ASSERT_EQ(1, CQvNet::Instance().Post(g_server.Url("normal", L"/net/post?id=" + id).c_str(),
                                         body, static_cast<int>(std::strlen(body)), reply_, 100));
    EXPECT_STREQ("ok", reply_);
    qvtest::HttpRecord r = Seen(id);
    EXPECT_EQ("POST", r.method);
    EXPECT_EQ(body, r.body);
    ASSERT_NE(nullptr, r.Header("Content-Type"));
    EXPECT_EQ("application/x-www-form-urlencoded", *r.Header("Content-Type"));

    // Only a reply that says it is gzip is inflated: bytes with a zero in
    // them, or gzip bytes without the header, come back as they are.
    std::wstring zero = g_server.Url("normal", L"/net/zero?qv-hex=6162006364");
    ASSERT_EQ(1, CQvNet::Instance().Post(zero.c_str(), body, 3, reply_, 100));
    EXPECT_EQ(0, std::memcmp("ab\0cd", reply_, 6));
    EXPECT_EQ(5, CQvNet::Instance().GetInfoLen());
    std::wstring bare = g_server.Url(
        "normal", L"/net/bare?qv-hex=1f8b08000000000002ff4b4c4a0600c241243503000000");
    ASSERT_EQ(1, CQvNet::Instance().Post(bare.c_str(), body, 3, reply_, 100));
    EXPECT_EQ(0x1f, static_cast<unsigned char>(reply_[0]));
    EXPECT_EQ(23, CQvNet::Instance().GetInfoLen());

    std::wstring gz = g_server.Url("gzip", L"/net/pgz?qv-hex=" + std::wstring(L"e4b8ade69687"));
    ASSERT_EQ(1, CQvNet::Instance().Post(gz.c_str(), body, 3, reply_, 100));
    EXPECT_STREQ("\xe4\xb8\xad\xe6\x96\x87", reply_);
}

TEST_F(Net, FailuresReturnZeroAndAreLoggedOnlyWhenLoggingIsOn) {
    std::wstring refused = g_server.Url("refuse", L"/net/refused");
    EXPECT_EQ(0, GetUrlInfo(refused.c_str(), reply_, 100));
    EXPECT_EQ("", ReadLog());

    CQvLog::Instance().ForceLog(true);
    EXPECT_EQ(0, GetUrlInfo(refused.c_str(), reply_, 100));
    EXPECT_EQ("2003-03-03 12:00:00\t" + Ansi(L"网络连接异常: InternetReadFile") + "\r\n",
              ReadLog());

    // A server that takes the connection and drops it fails the same way.
    EXPECT_EQ(0, GetUrlInfo(g_server.Url("close", L"/net/closed").c_str(), reply_, 100));
    EXPECT_EQ(0, CQvNet::Instance().Post(g_server.Url("close", L"/net/closed").c_str(),
                                         reply_, 0, reply_, 100));
    std::string log = ReadLog();
    size_t lines = 0;
    for (size_t p = 0; (p = log.find("InternetReadFile", p)) != std::string::npos; ++p) ++lines;
    EXPECT_EQ(3u, lines);
}

TEST_F(Net, ReachabilityProbe) {
    EXPECT_EQ(1, isConnected(g_server.Url("normal", L"/NET/Probe").c_str()));
    EXPECT_EQ(0, isConnected(g_server.Url("refuse", L"/net/probe").c_str()));
    // The probe lower-cases the whole address.
    EXPECT_TRUE(g_server.WaitFor([](const qvtest::HttpRecord& r) { return r.target == "/net/probe"; },
                                 5000));
}

TEST_F(Net, ProxyFileRoutesThroughAnAuthenticatingProxy) {
    ASSERT_TRUE(qvtest::LoadPlantedProxy(g_server.Port("proxy"), L"qvuser", L"qvpass"));

    std::wstring id = Unique(L"proxied");
    // The name resolves nowhere: only the proxy can answer for it.
    std::wstring url = L"http://report.invalid/net/via?id=" + id;
    ASSERT_EQ(1, GetUrlInfo(url.c_str(), reply_, 100));
    EXPECT_STREQ("proxied", reply_);
    CQvNet::Instance().LoadProxyConfig();  // file gone: direct again

    auto records = g_server.Records();
    int challenged = 0, authorised = 0;
    for (const auto& r : records) {
        // A proxy is asked for the whole address: http://report.invalid[:80]/...
        if (r.listener != "proxy" || r.target.find("http://report.invalid") != 0 ||
            r.target.find(Narrow(id)) == std::string::npos)
            continue;
        const std::string* auth = r.Header("Proxy-Authorization");
        if (!auth) ++challenged;
        else if (*auth == "Basic cXZ1c2VyOnF2cGFzcw==") ++authorised;  // qvuser:qvpass
    }
    EXPECT_EQ(1, challenged);
    EXPECT_EQ(1, authorised);
}

QV_CHILD(net_stop) {
    if (!g_server.Load()) return 2;
    CQvNet::Instance().Stop();
    char reply[100];
    std::memset(reply, 'x', sizeof(reply));
    std::wstring id = Unique(L"stopped");
    int r = GetUrlInfo(g_server.Url("normal", L"/net/stop?id=" + id).c_str(), reply, 100);
    // Still sent, nothing read.
    bool sent = g_server.WaitFor(
        [&](const qvtest::HttpRecord& x) { return x.target.find(Narrow(id)) != std::string::npos; },
        5000);
    return r == 1 && reply[0] == 0 && sent ? 0 : 1;
}

TEST_F(Net, AfterStopRequestsGoOutButReadNothing) {
    EXPECT_EQ(0, qvtest::RunChild("net_stop"));
}

TEST_F(Net, AServerThatNeverAnswersEndsInAFailure) {
    DWORD start = ::GetTickCount();
    EXPECT_EQ(0, GetUrlInfo(g_server.Url("hang", L"/net/hang").c_str(), reply_, 100));
    // The fixture's server holds such a connection for 3 seconds.
    EXPECT_LT(::GetTickCount() - start, 30000u);
}


// A deadline for the tests that wait on a stalling server, restored after.
class NetDeadline : public Net {
protected:
    void SetUp() override {
        Net::SetUp();
        CQvNet::Instance().SetDeadline(3000);
    }
    void TearDown() override {
        CQvNet::Instance().SetDeadline(0);
        Net::TearDown();
    }
};

// Each way a server can stall once the request is out. The server holds
// these connections for two minutes; a call must give up at its deadline,
// report a failure and leave no reply behind.
TEST_F(NetDeadline, StallingServersAreGivenUpAtTheDeadline) {
    for (const char* listener : {"silent", "short", "trickle", "hang"}) {
        for (bool post : {false, true}) {
            std::wstring url = g_server.Url(listener, L"/net/stall?id=" + Unique(L"stall"));
            std::memset(reply_, 'x', 100);
            DWORD start = ::GetTickCount();
            int r = post ? CQvNet::Instance().Post(url.c_str(), reply_, 0, reply_, 100)
                         : GetUrlInfo(url.c_str(), reply_, 100);
            DWORD took = ::GetTickCount() - start;
            EXPECT_EQ(0, r) << listener << (post ? " POST" : " GET");
            EXPECT_LT(took, 60000u) << listener << (post ? " POST" : " GET");
            EXPECT_EQ(0, CQvNet::Instance().GetInfoLen());
        }
    }
    // The probe waits for an answer to its request: none comes.
    DWORD start = ::GetTickCount();
    EXPECT_EQ(0, isConnected(g_server.Url("silent", L"/net/mute?qv-mute=1").c_str()));
    EXPECT_LT(::GetTickCount() - start, 60000u);
}

// Stop, called from another thread, ends a read that is waiting for a
// server that sends nothing, long before the call's own deadline.
struct InFlight {
    std::wstring url;
    char reply[100];
    int result = -1;
};

DWORD WINAPI FetchInFlight(void* param) {
    auto* f = static_cast<InFlight*>(param);
    f->result = GetUrlInfo(f->url.c_str(), f->reply, sizeof(f->reply));
    return 0;
}

QV_CHILD(net_stop_in_flight) {
    if (!g_server.Load()) return 2;
    CQvNet::Instance().SetDeadline(600000);
    std::wstring id = Unique(L"inflight");
    static InFlight f;
    f.url = g_server.Url("silent", L"/net/inflight?id=" + id);
    HANDLE thread = ::CreateThread(nullptr, 0, &FetchInFlight, &f, 0, nullptr);
    if (!thread) return 2;
    bool sent = g_server.WaitFor(
        [&](const qvtest::HttpRecord& x) { return x.target.find(Narrow(id)) != std::string::npos; },
        30000);
    CQvNet::Instance().Stop();
    // A read that Stop could not reach would wait the ten minutes; the
    // process then ends with the thread still blocked.
    if (::WaitForSingleObject(thread, 60000) != WAIT_OBJECT_0) return 3;
    ::CloseHandle(thread);
    return sent ? 0 : 1;
}

TEST_F(Net, StopEndsACallInFlight) {
    EXPECT_EQ(0, qvtest::RunChild("net_stop_in_flight", 120000));
}

// A redirect, to another origin, is the reply: nothing is fetched from
// where it points (302 for GET, 307 for POST, which would resend the body).
TEST_F(Net, RedirectsAreReturnedNotFollowed) {
    std::wstring id = Unique(L"redir");
    ASSERT_EQ(1, GetUrlInfo(g_server.Url("redirect", L"/net/redir?id=" + id).c_str(), reply_,
                            100));
    EXPECT_STREQ("moved", reply_);
    char body[] = "secret=1";
    std::wstring postId = Unique(L"redirpost");
    ASSERT_EQ(1, CQvNet::Instance().Post(
                     g_server.Url("redirect", L"/net/redir?id=" + postId).c_str(), body,
                     static_cast<int>(std::strlen(body)), reply_, 100));
    EXPECT_STREQ("moved", reply_);
    // A followed redirect would reach the normal listener right after the
    // first answer; give it time to show before concluding that none came.
    Seen(id);
    Seen(postId);
    EXPECT_FALSE(g_server.WaitFor(
        [&](const qvtest::HttpRecord& x) {
            return x.target.find("/redirected/") != std::string::npos &&
                   (x.target.find(Narrow(id)) != std::string::npos ||
                    x.target.find(Narrow(postId)) != std::string::npos);
        },
        2000));
}

// A gzip bomb inflates only as far as the caller's buffer, also when the
// compressed data itself was cut to fit it.
TEST_F(Net, GzipBombsInflateOnlyIntoTheBuffer) {
    std::wstring url = g_server.Url("bomb", L"/net/bomb?qv-mib=16&id=" + Unique(L"bomb"));
    ASSERT_EQ(1, GetUrlInfo(url.c_str(), reply_, 100));
    EXPECT_EQ(99, CQvNet::Instance().GetInfoLen());
    EXPECT_EQ(std::string(100, '\0'), std::string(reply_, 100));  // zeros, not gzip bytes

    url = g_server.Url("bomb", L"/net/bomb?qv-mib=64&id=" + Unique(L"bomb"));
    DWORD start = ::GetTickCount();
    ASSERT_EQ(1, GetUrlInfo(url.c_str(), reply_, sizeof(reply_)));
    EXPECT_EQ(static_cast<int>(sizeof(reply_)) - 1, CQvNet::Instance().GetInfoLen());
    EXPECT_LT(::GetTickCount() - start, 60000u);
    ASSERT_EQ(1, CQvNet::Instance().Post(url.c_str(), reply_, 0, reply_, sizeof(reply_)));
    EXPECT_EQ(static_cast<int>(sizeof(reply_)) - 1, CQvNet::Instance().GetInfoLen());
}

// Each thread reads the length of its own last reply.
TEST_F(Net, ReplyLengthBelongsToTheCallingThread) {
    ASSERT_EQ(1, GetUrlInfo(g_server.Url("normal", L"/net/len").c_str(), reply_, 100));
    std::thread other([] {
        static char big[65536];
        GetUrlInfo(g_server.Url("normal", L"/net/len?qv-hex=00&qv-repeat=40000").c_str(), big,
                   sizeof(big));
        EXPECT_EQ(40000, CQvNet::Instance().GetInfoLen());
    });
    other.join();
    EXPECT_EQ(2, CQvNet::Instance().GetInfoLen());
}

// An elevated program takes neither zlib1.dll nor proxy.dat from a folder
// that everyone may write; a standard one does.
class PlantedFiles : public Net {
protected:
    void TearDown() override {
        qv::seam::SetElevated(0);
        Net::TearDown();
    }
};

TEST_F(PlantedFiles, AnElevatedProgramLoadsNothingFromAWritableFolder) {
    qvtest::TempDir dir(L"qvplant");
    std::wstring folder = qvtest::PlantZlib(dir);
    ASSERT_FALSE(folder.empty());
    std::wstring module = folder + L"product.dll";
    qv::ScopedModule product = qvtest::LoadProductModule(folder);
    ASSERT_TRUE(product);

    qv::seam::SetElevated(1);
    {
        CQvZlib planted;
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), planted.InitZlib(module.c_str()));
        EXPECT_EQ(nullptr, ::GetModuleHandleW((folder + L"zlib1.dll").c_str()));
    }
    // Not elevated, the same folder is used. (Not unbound after: the
    // bindings are the whole process's, and the library is the one already
    // loaded under that name.)
    qv::seam::SetElevated(0);
    {
        CQvZlib standard;
        EXPECT_EQ(S_OK, standard.InitZlib(module.c_str()));
    }
    // A proxy.dat that everyone may rewrite is not obeyed.
    qv::seam::SetElevated(1);
    ASSERT_TRUE(qvtest::LoadPlantedProxy(g_server.Port("proxy"), L"", L"",
                                         L"D:(A;;FA;;;BA)(A;;FA;;;WD)"));
    std::wstring id = Unique(L"planted");
    EXPECT_EQ(1, GetUrlInfo(g_server.Url("normal", L"/net/planted?id=" + id).c_str(), reply_, 100));
    EXPECT_STREQ("ok", reply_) << "the request went through the planted proxy";
    qv::seam::SetElevated(0);
    CQvNet::Instance().LoadProxyConfig();
}

namespace {

// A plain TCP listener on a free loopback port that keeps the first bytes
// of every connection it is offered, then drops the connection: whatever
// a client sends before any answer is what a listener on the path sees.
class RawListener {
public:
    RawListener() {
        if (port()) thread_ = std::thread([this] { Run(); });
    }
    ~RawListener() { Stop(); }
    RawListener(const RawListener&) = delete;
    RawListener& operator=(const RawListener&) = delete;

    int port() const { return listen_.port(); }
    // Ends the listener, after the connection in hand (if any) is read.
    std::vector<std::string> Stop() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
        listen_.Close();
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

private:
    void Run() {
        const SOCKET sock = listen_.socket();
        while (!done_) {
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(sock, &ready);
            timeval wait{0, 50000};
            if (::select(0, &ready, nullptr, nullptr, &wait) <= 0) continue;
            SOCKET conn = ::accept(sock, nullptr, nullptr);
            if (conn == INVALID_SOCKET) continue;
            DWORD timeout = qvtest::Scaled(10000);
            ::setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                         sizeof(timeout));
            char buf[4096];
            int got = ::recv(conn, buf, sizeof(buf), 0);
            ::closesocket(conn);
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back(got > 0 ? std::string(buf, static_cast<size_t>(got)) : std::string());
        }
    }

    qvtest::LoopbackListener listen_;
    std::atomic<bool> done_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> seen_;
};

}  // namespace

// An https URL is spoken to over TLS or not at all: a listener in the
// server's place sees a TLS handshake (a record of type 0x16) or nothing,
// never the request line, the headers or the form in clear.
TEST_F(Net, HttpsUrlsNeverGoOutInCleartext) {
    for (const char* entry : {"Post", "GetUrlInfo", "isConnected"}) {
        RawListener listener;
        ASSERT_NE(0, listener.port());
        std::wstring url = L"https://127.0.0.1:" + std::to_wstring(listener.port()) +
                           L"/net/tls?id=" + Unique(L"tls");
        char body[] = "password=secret";
        int r = entry[0] == 'P'
                    ? CQvNet::Instance().Post(url.c_str(), body,
                                              static_cast<int>(std::strlen(body)), reply_, 100)
                : entry[0] == 'G' ? GetUrlInfo(url.c_str(), reply_, 100)
                                  : isConnected(url.c_str());
        EXPECT_EQ(0, r) << entry << ": no TLS server answered, yet the call succeeded";
        for (const std::string& bytes : listener.Stop()) {
            EXPECT_EQ(std::string::npos, bytes.find("/net/tls")) << entry << " sent: " << bytes;
            EXPECT_EQ(std::string::npos, bytes.find("secret")) << entry << " sent: " << bytes;
            if (!bytes.empty()) {
                EXPECT_EQ(0x16, bytes[0]) << entry << " sent: " << bytes;
            }
        }
    }
}

namespace {

// The TLS listener's certificate among the current user's trusted roots,
// for as long as this lives.
class TrustedRoot {
public:
    TrustedRoot() {
        wchar_t folder[MAX_PATH] = {};
        GetCurPath(folder);
        std::string der = ReadBytes(std::wstring(folder) + L"report-server-tls.cer");
        HCERTSTORE store = OpenRoot();
        if (!store || der.empty()) return;
        PCCERT_CONTEXT added = nullptr;
        if (::CertAddEncodedCertificateToStore(
                store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, &added))
            cert_ = ::CertDuplicateCertificateContext(added);
        if (added) ::CertFreeCertificateContext(added);
        // Closing the store writes it where a chain engine made later reads it.
        ::CertCloseStore(store, 0);
    }
    ~TrustedRoot() {
        if (!cert_) return;
        if (HCERTSTORE store = OpenRoot()) {
            if (PCCERT_CONTEXT found = ::CertFindCertificateInStore(
                    store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert_, nullptr))
                ::CertDeleteCertificateFromStore(found);  // frees `found`
            ::CertCloseStore(store, 0);
        }
        ::CertFreeCertificateContext(cert_);
    }
    TrustedRoot(const TrustedRoot&) = delete;
    TrustedRoot& operator=(const TrustedRoot&) = delete;
    bool ok() const { return cert_ != nullptr; }

private:
    static HCERTSTORE OpenRoot() {
        // The registry store itself: Wine keeps nothing added to the
        // system store's collection.
        return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                               CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    }

    PCCERT_CONTEXT cert_ = nullptr;
};

// GET, POST and the probe to the TLS listener under `id`; how many of the
// three succeeded with the listener's answer.
int CallTls(const std::wstring& id) {
    std::wstring url = L"https://" + g_server.Host("tls") + L"/net/tls?id=" + id;
    char reply[100] = {};
    char body[] = "a=1";
    int ok = 0;
    if (GetUrlInfo(url.c_str(), reply, sizeof(reply)) && std::strcmp(reply, "ok") == 0) ++ok;
    std::memset(reply, 0, sizeof(reply));
    if (CQvNet::Instance().Post(url.c_str(), body, 3, reply, sizeof(reply)) &&
        std::strcmp(reply, "ok") == 0)
        ++ok;
    ok += isConnected(url.c_str());
    return ok;
}

}  // namespace

// Trusting the listener's certificate is this child's alone: a process's
// certificate chains are checked against the roots it saw first.
QV_CHILD(net_tls_trusted) {
    if (!g_server.Load()) return 2;
    TrustedRoot root;
    if (!root.ok()) return 3;
    std::wstring id = Unique(L"trusted");
    int ok = CallTls(id);
    auto over = [&](const qvtest::HttpRecord& r) {
        return r.listener == "tls" && r.target.find(Narrow(id)) != std::string::npos;
    };
    return ok == 3 && g_server.WaitFor(over, 5000) ? 0 : 10 + ok;
}

// The server's certificate is checked: a server that no one vouches for is
// not spoken to, and one whose certificate the system trusts is, over TLS.
TEST_F(Net, HttpsSpeaksOnlyToACertificateTheSystemTrusts) {
    ASSERT_NE(0, g_server.Port("tls")) << "the report server has no TLS listener";
    std::wstring id = Unique(L"untrusted");
    EXPECT_EQ(0, CallTls(id));
    // WinINet checks the certificate once the handshake is done.
    EXPECT_TRUE(g_server.WaitFor(
        [](const qvtest::HttpRecord& r) { return r.listener == "tls" && !r.event.empty(); },
        5000))
        << "the client never spoke TLS to the listener";
    for (const qvtest::HttpRecord& r : g_server.Records())
        EXPECT_EQ(std::string::npos, r.target.find(Narrow(id))) << "request sent: " << r.target;

    EXPECT_EQ(0, qvtest::RunChild("net_tls_trusted", 120000));
}
