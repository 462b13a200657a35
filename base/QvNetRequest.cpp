// GET, POST and the reachability probe.
#include <cwctype>

#include "base/QvNet.h"
#include "base/QvNetCall.h"
#include "base/QvNetExchange.h"
#include "base/QvNetSession.h"

namespace {

// The length of the calling thread's last GetUrlInfo or Post: each caller
// sees its own, whatever other threads fetch meanwhile.
thread_local int t_replyLen = 0;

}  // namespace

namespace qv::net {

struct ClientAccess {
    static DWORD Deadline(const CQvNet& net) { return static_cast<DWORD>(net.deadline_.load()); }

    // A request carries a copy of the settings: the worker may outlive the
    // call, and the client may change meanwhile.
    static Request Make(const CQvNet& net, Target target, int replySize) {
        Request r;
        r.target = std::move(target);
        r.replySize = replySize;
        r.proxy = net.proxy_;
        r.attempts = net.attempts_;
        r.retryDelay = net.retryDelay_;
        r.deadline = Deadline(net);
        r.stopped = net.stop_.load();
        return r;
    }
};

}  // namespace qv::net

using qv::net::ClientAccess;

int CQvNet::GetUrlInfo(const wchar_t* url, char* reply, int replySize) {
    t_replyLen = 0;
    if (!url) return 0;
    const size_t hostStart = qv::net::IsHttps(url) ? 8 : 7;
    qv::net::Request request =
        ClientAccess::Make(*this, qv::net::SplitUrl(url, hostStart), replySize);
    int length = qv::net::Fetch(calls_, std::move(request), reply);
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
    qv::net::Request request =
        ClientAccess::Make(*this, qv::net::SplitUrl(text, hostStart), replySize);
    request.post = true;
    if (body && bodySize > 0) {
        const char* bytes = static_cast<const char*>(body);
        request.body.assign(bytes, bytes + bodySize);  // the worker may outlive this call
    }
    int length = qv::net::Fetch(calls_, std::move(request), reply);
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

    qv::net::Call call(*calls_, ClientAccess::Deadline(*this));
    qv::ScopedInternet session = qv::net::OpenSession(proxy_);
    if (!session) return 0;
    qv::net::LimitSession(session.get(), call);
    qv::ScopedInternet connection(::InternetConnectW(session.get(), target.host.c_str(),
                                                     target.port, nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, INTERNET_FLAG_NO_UI,
                                                     0));
    if (!connection) return 0;
    if (proxy_.enabled) qv::net::SetProxyCredentials(connection.get(), proxy_);
    const wchar_t* accept[] = {L"*/*", nullptr};
    HINTERNET request = ::HttpOpenRequestW(connection.get(), L"GET", target.path.c_str(),
                                           L"HTTP/1.1", nullptr, accept,
                                           qv::net::RequestFlags(target) |
                                               INTERNET_FLAG_KEEP_CONNECTION,
                                           0);
    if (!request) return 0;
    call.Adopt(request);
    call.ApplyTimeouts(connection.get());
    return ::HttpSendRequestW(request, nullptr, 0, nullptr, 0) && !call.Expired() ? 1 : 0;
}
