// GET, POST and the reachability probe.
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <memory>
#include <new>

#include "base/QvLog.h"
#include "base/QvNet.h"
#include "base/QvNetCall.h"
#include "base/QvNetSession.h"
#include "base/QvZlib.h"

namespace {

const wchar_t kHeaders[] =
    L"Accept:text/html,application/xml;q=0.9,application/json,*/*;q=0.8\r\n"
    L"Accept-Encoding:gzip,deflate\r\n"
    L"Accept-Language:zh-CN,zh;q=0.5\r\n"
    L"Accept-Charset:gb2312,utf-8;q=0.7,*;q=0.7\r\n";
const wchar_t kAgentHeader[] = L"User-Agent:Mozilla/5.0 (Windows NT 6.1)\r\n";
const wchar_t kFormHeader[] = L"Content-Type: application/x-www-form-urlencoded\r\n";

void LogFailure(const wchar_t* what) {
    CQvLog::Instance().WriteLog(what);
}

// Whether the server answered with an HTTP status line. Wine reports a
// connection closed without a word as a sent request with status 0. Any
// real status, error pages included, counts as an answer.
bool HasStatusLine(HINTERNET request) {
    DWORD status = 0, size = sizeof(status);
    return ::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                            &size, nullptr) &&
           status >= 100;
}

// Flags of every request: a redirect answer is returned as it came, and
// nothing is done on the user's behalf (log-on, cookies, cache, dialogs).
// A report answered from elsewhere must never make the elevated program
// log on to another host as the user or store what it sent.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT |
                                INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_COOKIES |
                                INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_NO_UI;

// What one request needs from the client object.
struct Client {
    CQvNet& net;
    const tagProxyInfo& proxy;
    const std::atomic<bool>& stop;
    int attempts;
    int retryDelay;
    qv::net::CallList& calls;
    DWORD deadline;
};

// Time-outs for the session and connection, before any request exists:
// the connect time-out of the specification, the rest from the deadline.
void LimitHandle(HINTERNET handle, const qv::net::Call& call) {
    DWORD connect = 3000;
    if (connect > call.Remaining()) connect = call.Remaining() ? call.Remaining() : 1;
    ::InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
    DWORD retries = 1;  // each retry would cost another connect time-out
    ::InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_RETRIES, &retries, sizeof(retries));
}

// Reads what the server sends, up to `limit` bytes, one arrival at a time:
// a single InternetReadFile waits until its whole count has come, so a
// server that trickles would keep it past any deadline.
int ReadReply(const Client& c, qv::net::Call& call, char* into, int limit) {
    int total = 0;
    const int chunk = limit + 1 <= 16384 ? limit : 16384;
    while (!c.stop.load() && total < limit) {
        if (call.Expired()) return -1;
        call.ApplyTimeouts();
        DWORD ready = 0;
        if (!::InternetQueryDataAvailable(call.request(), &ready, 0, 0)) return c.stop.load() ? total : -1;
        if (ready == 0) break;  // the reply is complete
        DWORD want = static_cast<DWORD>(chunk < limit - total ? chunk : limit - total);
        if (want > ready) want = ready;
        DWORD got = 0;
        if (!::InternetReadFile(call.request(), into + total, want, &got)) return c.stop.load() ? total : -1;
        if (got == 0) break;
        total += static_cast<int>(got);
    }
    return total;
}

// Sends one GET or POST and reads the reply. A plain reply goes straight
// into `reply`; a gzip one is inflated into it, never beyond replySize - 1
// bytes. Returns the reply's length, or -1 on a (logged) network failure or
// when the deadline passed.
int Exchange(const Client& c, const qv::net::Target& target, bool post, void* body,
             int bodySize, char* reply, int replySize) {
    qv::net::Call call(c.calls, c.deadline);
    qv::ScopedInternet session = qv::net::OpenSession(c.proxy);
    if (!session) {
        LogFailure(L"网络连接异常: InternetOpen");
        return -1;
    }
    LimitHandle(session.get(), call);

    qv::ScopedInternet connection;
    for (int attempt = 1; attempt <= c.attempts; ++attempt) {
        connection.reset(::InternetConnectW(session.get(), target.host.c_str(), target.port,
                                            nullptr, nullptr, INTERNET_SERVICE_HTTP,
                                            INTERNET_FLAG_RELOAD, 0));
        if (connection || attempt == c.attempts || call.Remaining() <= DWORD(c.retryDelay)) break;
        ::Sleep(static_cast<DWORD>(c.retryDelay));
    }
    if (!connection) {
        LogFailure(L"网络连接异常: InternetConnect");
        return -1;
    }
    if (c.proxy.enabled) qv::net::SetProxyCredentials(connection.get(), c.proxy);

    const wchar_t* accept[] = {L"*/*", nullptr};
    HINTERNET opened = ::HttpOpenRequestW(connection.get(), post ? L"POST" : L"GET",
                                          target.path.c_str(), L"HTTP/1.1", nullptr, accept,
                                          kRequestFlags, 0);
    if (!opened) {
        LogFailure(L"网络连接异常: HttpOpenRequest");
        return -1;
    }
    call.Adopt(opened);
    std::wstring headers = kHeaders;
    headers += L"Host:" + target.hostHeader + L"\r\n";
    headers += kAgentHeader;
    if (post) headers += kFormHeader;
    ::HttpAddRequestHeadersW(opened, headers.c_str(), static_cast<DWORD>(-1),
                             HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);

    // A send that fails (refused, dropped, never answered, cut off by the
    // deadline) is the failed read that follows it: some WinINet versions
    // let that read "succeed" with no data, and the failure would pass for
    // an empty reply.
    call.ApplyTimeouts(connection.get());
    if (!::HttpSendRequestW(opened, nullptr, 0, post ? body : nullptr,
                            post && body && bodySize > 0 ? static_cast<DWORD>(bodySize) : 0) ||
        !HasStatusLine(opened) || call.Expired()) {
        LogFailure(L"网络连接异常: InternetReadFile");
        return -1;
    }
    const bool gzip = c.net.isGzip(opened) != 0;

    if (replySize <= 0 || !reply) return 0;
    std::memset(reply, 0, static_cast<size_t>(replySize));
    const int limit = replySize - 1;
    if (!gzip) {
        int total = ReadReply(c, call, reply, limit);
        if (total < 0) {
            LogFailure(L"网络连接异常: InternetReadFile");
            return -1;
        }
        reply[total] = '\0';
        return total;
    }
    // Compressed bytes wait in a buffer of their own (no larger than the
    // reply may be) and are inflated into the caller's buffer, which bounds
    // the work as well as the memory.
    std::unique_ptr<char[]> raw(new (std::nothrow) char[static_cast<size_t>(limit) + 1]);
    if (!raw) return -1;
    int total = ReadReply(c, call, raw.get(), limit);
    if (total < 0) {
        LogFailure(L"网络连接异常: InternetReadFile");
        return -1;
    }
    long inflated = 0;
    long hr = CQvZlib::Instance().DecodeGZipBufferTo(
        reinterpret_cast<const unsigned char*>(raw.get()), total,
        reinterpret_cast<unsigned char*>(reply), limit, &inflated);
    if (hr == S_OK || hr == S_FALSE) {
        reply[inflated] = '\0';
        return static_cast<int>(inflated);
    }
    if (post) {  // a POST reply that would not inflate is empty
        std::memset(reply, 0, static_cast<size_t>(replySize));
        return 0;
    }
    std::memcpy(reply, raw.get(), static_cast<size_t>(total));  // GET keeps the raw bytes
    reply[total] = '\0';
    return total;
}

// The length of the calling thread's last GetUrlInfo or Post: each caller
// sees its own, whatever other threads fetch meanwhile.
thread_local int t_replyLen = 0;

}  // namespace

int CQvNet::GetUrlInfo(const wchar_t* url, char* reply, int replySize) {
    t_replyLen = 0;
    if (!url) return 0;
    Client client{*this, proxy_, stop_, attempts_, retryDelay_, *calls_, Deadline()};
    int length = Exchange(client, qv::net::SplitUrl(url, 7), false, nullptr, 0, reply, replySize);
    if (length < 0) return 0;
    t_replyLen = length;
    return 1;
}

int CQvNet::Post(const wchar_t* url, void* body, int bodySize, char* reply, int replySize) {
    t_replyLen = 0;
    if (!url) return 0;
    std::wstring text = url;
    size_t first = text.find(L'/');
    size_t hostStart = first == std::wstring::npos ? 0 : first + 2;
    Client client{*this, proxy_, stop_, attempts_, retryDelay_, *calls_, Deadline()};
    int length = Exchange(client, qv::net::SplitUrl(text, hostStart), true, body, bodySize,
                          reply, replySize);
    if (length < 0) return 0;
    t_replyLen = length;
    return 1;
}

int CQvNet::GetInfoLen() {
    return t_replyLen;
}

int CQvNet::isConnected(const wchar_t* url) {
    if (!url) return 0;
    std::wstring text = url;
    for (wchar_t& ch : text) ch = static_cast<wchar_t>(std::towlower(ch));
    size_t hostStart = text.rfind(L"https://", 0) == 0 ? 8 : 7;
    qv::net::Target target = qv::net::SplitUrl(text, hostStart);

    qv::net::Call call(*calls_, Deadline());
    qv::ScopedInternet session = qv::net::OpenSession(proxy_);
    if (!session) return 0;
    LimitHandle(session.get(), call);
    qv::ScopedInternet connection(::InternetConnectW(session.get(), target.host.c_str(),
                                                     target.port, nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, INTERNET_FLAG_NO_UI,
                                                     0));
    if (!connection) return 0;
    if (proxy_.enabled) qv::net::SetProxyCredentials(connection.get(), proxy_);
    const wchar_t* accept[] = {L"*/*", nullptr};
    HINTERNET request = ::HttpOpenRequestW(connection.get(), L"GET", target.path.c_str(),
                                           L"HTTP/1.1", nullptr, accept,
                                           kRequestFlags | INTERNET_FLAG_KEEP_CONNECTION, 0);
    if (!request) return 0;
    call.Adopt(request);
    call.ApplyTimeouts(connection.get());
    return ::HttpSendRequestW(request, nullptr, 0, nullptr, 0) && !call.Expired() ? 1 : 0;
}
