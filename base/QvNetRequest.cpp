// GET, POST and the reachability probe.
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "base/QvLog.h"
#include "base/QvNet.h"
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

// What one request needs from the client object.
struct Client {
    CQvNet& net;
    const tagProxyInfo& proxy;
    const std::atomic<bool>& stop;
    int attempts;
    int retryDelay;
};

// Sends one GET or POST and reads the reply into `reply`. Returns the number
// of bytes read, or -1 on a (logged) network failure.
int Exchange(const Client& c, const qv::net::Target& target, bool post, void* body,
             int bodySize, char* reply, int replySize, bool* gzip) {
    qv::ScopedInternet session = qv::net::OpenSession(c.proxy);
    if (!session) {
        LogFailure(L"网络连接异常: InternetOpen");
        return -1;
    }
    DWORD timeout = 3000;
    ::InternetSetOptionW(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout,
                         sizeof(timeout));

    qv::ScopedInternet connection;
    for (int attempt = 1; attempt <= c.attempts; ++attempt) {
        connection.reset(::InternetConnectW(session.get(), target.host.c_str(), target.port,
                                            nullptr, nullptr, INTERNET_SERVICE_HTTP,
                                            INTERNET_FLAG_RELOAD, 0));
        if (connection || attempt == c.attempts) break;
        ::Sleep(static_cast<DWORD>(c.retryDelay));
    }
    if (!connection) {
        LogFailure(L"网络连接异常: InternetConnect");
        return -1;
    }
    if (c.proxy.enabled) qv::net::SetProxyCredentials(connection.get(), c.proxy);

    const wchar_t* accept[] = {L"*/*", nullptr};
    qv::ScopedInternet request(::HttpOpenRequestW(connection.get(), post ? L"POST" : L"GET",
                                                  target.path.c_str(), L"HTTP/1.1", nullptr,
                                                  accept, INTERNET_FLAG_RELOAD, 0));
    if (!request) {
        LogFailure(L"网络连接异常: HttpOpenRequest");
        return -1;
    }
    std::wstring headers = kHeaders;
    headers += L"Host:" + target.hostHeader + L"\r\n";
    headers += kAgentHeader;
    if (post) headers += kFormHeader;
    ::HttpAddRequestHeadersW(request.get(), headers.c_str(), static_cast<DWORD>(-1),
                             HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);

    // A send that fails (refused, dropped, never answered) is the failed
    // read that follows it: some WinINet versions let that read "succeed"
    // with no data, and the failure would pass for an empty reply.
    if (!::HttpSendRequestW(request.get(), nullptr, 0, post ? body : nullptr,
                            post && body && bodySize > 0 ? static_cast<DWORD>(bodySize) : 0) ||
        !HasStatusLine(request.get())) {
        LogFailure(L"网络连接异常: InternetReadFile");
        return -1;
    }
    *gzip = c.net.isGzip(request.get()) != 0;

    if (replySize <= 0 || !reply) return 0;
    std::memset(reply, 0, static_cast<size_t>(replySize));
    // Fill the buffer up to its last byte, which keeps the terminator; a
    // reply that arrives in several pieces is read whole as long as it fits.
    const int limit = replySize - 1;
    const int chunk = replySize <= 16384 ? limit : 16384;
    int total = 0;
    while (!c.stop.load() && total < limit) {
        DWORD want = static_cast<DWORD>(chunk < limit - total ? chunk : limit - total);
        DWORD got = 0;
        if (!::InternetReadFile(request.get(), reply + total, want, &got)) {
            LogFailure(L"网络连接异常: InternetReadFile");
            return -1;
        }
        if (got == 0) break;
        total += static_cast<int>(got);
    }
    reply[total] = '\0';
    return total;
}

// Replaces the reply with its inflated form, cut to what the buffer holds.
// Returns the new length, or -1 when the data would not inflate.
int Inflate(char* reply, int length, int replySize) {
    unsigned char* out = nullptr;
    long outSize = 0;
    if (CQvZlib::Instance().DecodeGZipBuffer(reinterpret_cast<unsigned char*>(reply), length,
                                             &out, &outSize) != S_OK)
        return -1;
    int kept = outSize < replySize - 1 ? static_cast<int>(outSize) : replySize - 1;
    std::memcpy(reply, out, static_cast<size_t>(kept));
    reply[kept] = '\0';
    std::free(out);
    return kept;
}

}  // namespace

int CQvNet::GetUrlInfo(const wchar_t* url, char* reply, int replySize) {
    replyLen_.store(0);
    if (!url) return 0;
    Client client{*this, proxy_, stop_, attempts_, retryDelay_};
    bool gzip = false;
    int length = Exchange(client, qv::net::SplitUrl(url, 7), false, nullptr, 0, reply,
                          replySize, &gzip);
    if (length < 0) return 0;
    if (gzip && length > 0) {
        int inflated = Inflate(reply, length, replySize);
        if (inflated >= 0) length = inflated;  // otherwise the raw bytes stay
    }
    replyLen_.store(length);
    return 1;
}

int CQvNet::Post(const wchar_t* url, void* body, int bodySize, char* reply, int replySize) {
    if (!url) return 0;
    std::wstring text = url;
    size_t first = text.find(L'/');
    size_t hostStart = first == std::wstring::npos ? 0 : first + 2;
    Client client{*this, proxy_, stop_, attempts_, retryDelay_};
    bool gzip = false;
    int length = Exchange(client, qv::net::SplitUrl(text, hostStart), true, body, bodySize,
                          reply, replySize, &gzip);
    if (length < 0) return 0;
    // A reply holding a zero byte cannot be text: it is taken as compressed.
    bool binary = length > 0 && std::strlen(reply) != static_cast<size_t>(length);
    if ((gzip || binary) && length > 0 && Inflate(reply, length, replySize) < 0)
        std::memset(reply, 0, static_cast<size_t>(replySize));
    return 1;
}

int CQvNet::isConnected(const wchar_t* url) {
    if (!url) return 0;
    std::wstring text = url;
    for (wchar_t& ch : text) ch = static_cast<wchar_t>(std::towlower(ch));
    size_t hostStart = text.rfind(L"https://", 0) == 0 ? 8 : 7;
    qv::net::Target target = qv::net::SplitUrl(text, hostStart);

    qv::ScopedInternet session = qv::net::OpenSession(proxy_);
    if (!session) return 0;
    qv::ScopedInternet connection(::InternetConnectW(session.get(), target.host.c_str(),
                                                     target.port, nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, INTERNET_FLAG_NO_UI,
                                                     0));
    if (!connection) return 0;
    if (proxy_.enabled) qv::net::SetProxyCredentials(connection.get(), proxy_);
    const wchar_t* accept[] = {L"*/*", nullptr};
    qv::ScopedInternet request(::HttpOpenRequestW(
        connection.get(), L"GET", target.path.c_str(), L"HTTP/1.1", nullptr, accept,
        INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI, 0));
    if (!request) return 0;
    return ::HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0) ? 1 : 0;
}
