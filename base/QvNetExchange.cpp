#include "base/QvNetExchange.h"

#include <cstring>
#include <new>
#include <string>

#include "base/QvLog.h"
#include "base/QvZlib.h"

namespace qv::net {
namespace {

const wchar_t kHeaders[] =
    L"Accept:text/html,application/xml;q=0.9,application/json,*/*;q=0.8\r\n"
    L"Accept-Encoding:gzip,deflate\r\n"
    L"Accept-Language:zh-CN,zh;q=0.5\r\n"
    L"Accept-Charset:gb2312,utf-8;q=0.7,*;q=0.7\r\n";
const wchar_t kAgentHeader[] = L"User-Agent:Mozilla/5.0 (Windows NT 6.1)\r\n";
const wchar_t kFormHeader[] = L"Content-Type: application/x-www-form-urlencoded\r\n";

const wchar_t kOpenFailed[] = L"网络连接异常: InternetOpen";
const wchar_t kConnectFailed[] = L"网络连接异常: InternetConnect";
const wchar_t kRequestFailed[] = L"网络连接异常: HttpOpenRequest";
const wchar_t kReadFailed[] = L"网络连接异常: InternetReadFile";

// What the worker hands back. Shared by the caller and the worker: either
// may be the last to let go of it.
struct Job {
    Request in;
    std::shared_ptr<CallList> calls;
    std::unique_ptr<char[]> reply;
    int length = -1;
    const wchar_t* failure = nullptr;  // the log line of a failed exchange
    qv::ScopedHandle done;
};

DWORD Status(HINTERNET request) {
    DWORD status = 0, size = sizeof(status);
    if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                          &size, nullptr))
        return 0;
    return status;
}

std::string Base64(const std::string& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[v & 63] : '=';
    }
    return out;
}

std::string Utf8(const wchar_t* text) {
    char buf[512] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, sizeof(buf), nullptr, nullptr);
    return buf;
}

// Reads what the server sends, up to `limit` bytes, one arrival at a time:
// a single InternetReadFile waits until its whole count has come, so a
// server that trickles would keep it past any deadline. -1 on a failure or
// when the deadline has passed.
int ReadReply(const Request& in, Call& call, char* into, int limit) {
    int total = 0;
    const int chunk = limit + 1 <= 16384 ? limit : 16384;
    while (!in.stopped && total < limit) {
        if (call.Expired()) return -1;
        call.ApplyTimeouts();
        DWORD ready = 0;
        if (!::InternetQueryDataAvailable(call.request(), &ready, 0, 0)) return -1;
        if (ready == 0) break;  // the reply is complete
        DWORD want = static_cast<DWORD>(chunk < limit - total ? chunk : limit - total);
        if (want > ready) want = ready;
        DWORD got = 0;
        if (!::InternetReadFile(call.request(), into + total, want, &got)) return -1;
        if (got == 0) break;
        total += static_cast<int>(got);
    }
    return call.Cancelled() ? -1 : total;
}

// Throws away the rest of an answer, so that the request can be sent again.
void Drain(const Request& in, Call& call) {
    char sink[1024];
    for (int n; (n = ReadReply(in, call, sink, sizeof(sink) - 1)) > 0;) {
    }
}

bool Send(const Request& in, Call& call, HINTERNET connection) {
    call.ApplyTimeouts(connection);
    const bool withBody = in.post && !in.body.empty();
    return ::HttpSendRequestW(call.request(), nullptr, 0,
                              withBody ? const_cast<char*>(in.body.data()) : nullptr,
                              withBody ? static_cast<DWORD>(in.body.size()) : 0) &&
           !call.Expired();
}

// A proxy that asks for credentials gets those of proxy.dat, as Basic, and
// only then: automatic log-on is off for every request.
bool AnswerProxyChallenge(const Request& in, Call& call, HINTERNET connection) {
    Drain(in, call);
    std::string token = Base64(Utf8(in.proxy.user) + ":" + Utf8(in.proxy.password));
    std::wstring header = L"Proxy-Authorization: Basic " +
                          std::wstring(token.begin(), token.end()) + L"\r\n";
    ::HttpAddRequestHeadersW(call.request(), header.c_str(), static_cast<DWORD>(-1),
                             HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    return Send(in, call, connection);
}

// Inflates the compressed reply in `raw` into `reply`, never past its last
// byte but one. Returns the new length, or -1 when it would not inflate.
int Inflate(const char* raw, int length, char* reply, int limit) {
    long inflated = 0;
    long hr = CQvZlib::Instance().DecodeGZipBufferTo(
        reinterpret_cast<const unsigned char*>(raw), length,
        reinterpret_cast<unsigned char*>(reply), limit, &inflated);
    if (hr != S_OK && hr != S_FALSE) return -1;
    reply[inflated] = '\0';
    return static_cast<int>(inflated);
}

// The exchange itself, on the worker: connect, send, read, inflate.
void Exchange(Job& job) {
    const Request& in = job.in;
    Call call(*job.calls, in.deadline, &job);
    qv::ScopedInternet session = OpenSession(in.proxy);
    if (!session) {
        job.failure = kOpenFailed;
        return;
    }
    LimitSession(session.get(), call);

    qv::ScopedInternet connection;
    for (int attempt = 1; attempt <= in.attempts; ++attempt) {
        connection.reset(::InternetConnectW(session.get(), in.target.host.c_str(),
                                            in.target.port, nullptr, nullptr,
                                            INTERNET_SERVICE_HTTP, INTERNET_FLAG_RELOAD, 0));
        if (connection || attempt == in.attempts ||
            call.Remaining() <= static_cast<DWORD>(in.retryDelay))
            break;
        ::Sleep(static_cast<DWORD>(in.retryDelay));
    }
    if (!connection) {
        job.failure = kConnectFailed;
        return;
    }
    if (in.proxy.enabled) SetProxyCredentials(connection.get(), in.proxy);

    const wchar_t* accept[] = {L"*/*", nullptr};
    HINTERNET opened = ::HttpOpenRequestW(connection.get(), in.post ? L"POST" : L"GET",
                                          in.target.path.c_str(), L"HTTP/1.1", nullptr, accept,
                                          RequestFlags(in.target), 0);
    if (!opened) {
        job.failure = kRequestFailed;
        return;
    }
    call.Adopt(opened);
    std::wstring headers = kHeaders;
    headers += L"Host:" + in.target.hostHeader + L"\r\n";
    headers += kAgentHeader;
    if (in.post) headers += kFormHeader;
    ::HttpAddRequestHeadersW(opened, headers.c_str(), static_cast<DWORD>(-1),
                             HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);

    // A send that fails (refused, dropped, never answered, cut off) is the
    // failed read that follows it: some WinINet versions let that read
    // "succeed" with no data, and the failure would pass for an empty reply.
    // Wine reports a connection closed without a word as status 0; any real
    // status, error pages included, is an answer.
    bool sent = Send(in, call, connection.get());
    if (sent && Status(opened) == HTTP_STATUS_PROXY_AUTH_REQ && in.proxy.enabled &&
        in.proxy.user[0])
        sent = AnswerProxyChallenge(in, call, connection.get());
    if (!sent || Status(opened) < 100) {
        job.failure = kReadFailed;
        return;
    }
    const bool gzip = IsGzip(opened);

    const int replySize = in.replySize;
    if (replySize <= 0) {
        job.length = 0;
        return;
    }
    job.reply.reset(new (std::nothrow) char[static_cast<size_t>(replySize)]());
    if (!job.reply) return;
    char* reply = job.reply.get();
    const int limit = replySize - 1;
    // Compressed bytes wait in a buffer of their own, no larger than the
    // reply may be, and are inflated into the reply: that bounds the work as
    // well as the memory.
    std::unique_ptr<char[]> raw;
    if (gzip) {
        raw.reset(new (std::nothrow) char[static_cast<size_t>(replySize)]());
        if (!raw) return;
    }
    const int total = ReadReply(in, call, gzip ? raw.get() : reply, limit);
    if (total < 0) {
        job.failure = kReadFailed;
        return;
    }
    job.length = total;
    if (!gzip || total == 0) return;
    const int inflated = Inflate(raw.get(), total, reply, limit);
    if (inflated >= 0) {
        job.length = inflated;
    } else if (in.post) {  // a POST reply that would not inflate is empty
        std::memset(reply, 0, static_cast<size_t>(replySize));
        job.length = 0;
    } else {  // a GET keeps the raw bytes
        std::memcpy(reply, raw.get(), static_cast<size_t>(total));
    }
}

// WinINet needs little stack; a small reservation keeps the worker cheap
// beside the uninstall it reports on.
constexpr SIZE_T kWorkerStack = 256 * 1024;

DWORD WINAPI Worker(void* param) {
    auto* job = static_cast<std::shared_ptr<Job>*>(param);
    Exchange(**job);
    ::SetEvent((*job)->done.get());
    delete job;
    return 0;
}

}  // namespace

void LimitSession(HINTERNET session, const Call& call) {
    DWORD connect = 3000;
    if (connect > call.Remaining()) connect = call.Remaining() ? call.Remaining() : 1;
    ::InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
    DWORD retries = 1;  // each retry would cost another connect time-out
    ::InternetSetOptionW(session, INTERNET_OPTION_CONNECT_RETRIES, &retries, sizeof(retries));
}

int Fetch(const std::shared_ptr<CallList>& calls, Request request, char* reply) {
    auto job = std::make_shared<Job>();
    job->in = std::move(request);
    job->calls = calls;
    job->done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!reply) job->in.replySize = 0;
    const DWORD deadline = job->in.deadline;
    const DWORD start = ::GetTickCount();

    auto* handoff = new (std::nothrow) std::shared_ptr<Job>(job);
    // The worker is never waited for by its handle (it may outlive the
    // call): the handle goes at once.
    const bool started = handoff && job->done &&
                         qv::ScopedHandle(::CreateThread(nullptr, kWorkerStack, &Worker, handoff,
                                                         STACK_SIZE_PARAM_IS_A_RESERVATION,
                                                         nullptr));
    if (started) {
        HANDLE waits[2] = {job->done.get(), calls->stopped()};
        // A Stop made before this call does not cut it short: such a call
        // still goes out and reads nothing.
        const DWORD count = job->in.stopped || !waits[1] ? 1 : 2;
        const DWORD spent = ::GetTickCount() - start;
        const DWORD left = spent < deadline ? deadline - spent : 0;
        if (::WaitForMultipleObjects(count, waits, FALSE, left) != WAIT_OBJECT_0) {
            // Out of time or stopped: the worker finishes on its own, with
            // its request closed.
            calls->Cancel(job.get());
            CQvLog::Instance().WriteLog(kReadFailed);
            return -1;
        }
    } else {
        delete handoff;
        Exchange(*job);  // no thread to spare: the time-outs still bound it
    }
    if (job->failure) {
        CQvLog::Instance().WriteLog(job->failure);
        return -1;
    }
    if (job->length < 0) return -1;
    if (job->in.replySize > 0) {
        if (job->reply)
            std::memcpy(reply, job->reply.get(), static_cast<size_t>(job->in.replySize));
        else
            std::memset(reply, 0, static_cast<size_t>(job->in.replySize));
    }
    return job->length;
}

}  // namespace qv::net
