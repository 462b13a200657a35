#include "base/QvNet.h"

#include <iterator>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "base/QvLog.h"
#include "base/QvNetCall.h"
#include "base/QvNetSession.h"
#include "base/QvTrust.h"
#include "base/QvUtil.h"
#include "base/QvZlib.h"

namespace qv::net {

bool IsHttps(const std::wstring& url) {
    return _wcsnicmp(url.c_str(), L"https://", 8) == 0;
}

Target SplitUrl(const std::wstring& url, size_t hostStart) {
    Target t;
    t.secure = IsHttps(url);
    if (t.secure) t.port = INTERNET_DEFAULT_HTTPS_PORT;
    if (hostStart > url.size()) hostStart = url.size();
    size_t slash = url.find(L'/', hostStart + 1);
    if (slash == std::wstring::npos) {
        t.hostHeader = url.substr(hostStart);
        t.path = L"/";
    } else {
        t.hostHeader = url.substr(hostStart, slash - hostStart);
        t.path = url.substr(slash);
    }
    t.host = t.hostHeader;
    // "host:8080" connects to port 8080. A bracketed IPv6 literal keeps its
    // inner colons.
    size_t colon = t.hostHeader.rfind(L':');
    size_t bracket = t.hostHeader.rfind(L']');
    if (colon != std::wstring::npos && (bracket == std::wstring::npos || colon > bracket)) {
        std::wstring digits = t.hostHeader.substr(colon + 1);
        unsigned long port = 0;
        bool numeric = !digits.empty() && digits.size() <= 5 &&
                       digits.find_first_not_of(L"0123456789") == std::wstring::npos;
        if (numeric) port = std::wcstoul(digits.c_str(), nullptr, 10);
        if (numeric && port > 0 && port <= 65535) {
            t.host = t.hostHeader.substr(0, colon);
            t.port = static_cast<INTERNET_PORT>(port);
        }
    }
    return t;
}

ScopedInternet OpenSession(const tagProxyInfo& proxy) {
    DWORD state = 0;
    ::InternetGetConnectedState(&state, 0);
    wchar_t agent[32];
    std::swprintf(agent, std::size(agent), L"Agent%ld", static_cast<long>(::GetTickCount()));
    if (proxy.enabled) {
        wchar_t list[160];
        std::swprintf(list, std::size(list), L"HTTP=HTTP://%ls:%ls", proxy.host, proxy.port);
        return ScopedInternet(
            ::InternetOpenW(agent, INTERNET_OPEN_TYPE_PROXY, list, nullptr, 0));
    }
    DWORD access = (state & INTERNET_CONNECTION_PROXY) ? INTERNET_OPEN_TYPE_PRECONFIG
                                                        : INTERNET_OPEN_TYPE_DIRECT;
    return ScopedInternet(::InternetOpenW(agent, access, nullptr, nullptr, 0));
}

bool IsGzip(HINTERNET request) {
    wchar_t value[64] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    return ::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_ENCODING, value, &size, nullptr) &&
           _wcsicmp(value, L"gzip") == 0;
}

void SetProxyCredentials(HINTERNET connection, const tagProxyInfo& proxy) {
    ::InternetSetOptionW(connection, INTERNET_OPTION_PROXY_USERNAME,
                         const_cast<wchar_t*>(proxy.user),
                         static_cast<DWORD>(std::wcslen(proxy.user)));
    ::InternetSetOptionW(connection, INTERNET_OPTION_PROXY_PASSWORD,
                         const_cast<wchar_t*>(proxy.password),
                         static_cast<DWORD>(std::wcslen(proxy.password)));
}

}  // namespace qv::net

CQvNet& CQvNet::Instance() {
    // The logger and zlib are touched first so that they are destroyed
    // after us: requests still running at exit use them.
    CQvLog::Instance();
    CQvZlib::Instance();
    static CQvNet _obj;
    return _obj;
}

CQvNet::CQvNet() : calls_(std::make_shared<qv::net::CallList>()) {
    LoadProxyConfig();
    CQvZlib::Instance().InitZlib(nullptr);
}

CQvNet::~CQvNet() {
    // zlib stays loaded: a report thread may still be inflating a reply
    // while the process runs its exit handlers, and unloading the library
    // under it would crash the exit. Calls still in flight keep their own
    // share of the call list; they end now.
    stop_.store(true);
    calls_->CancelAll();
}

// A copy takes the settings; the calls in flight stay with their client.
CQvNet::CQvNet(const CQvNet& other)
    : proxy_(other.proxy_),
      stop_(other.stop_.load()),
      attempts_(other.attempts_),
      retryDelay_(other.retryDelay_),
      deadline_(other.deadline_.load()),
      calls_(std::make_shared<qv::net::CallList>()) {}

CQvNet& CQvNet::operator=(const CQvNet& other) {
    proxy_ = other.proxy_;
    stop_.store(other.stop_.load());
    attempts_ = other.attempts_;
    retryDelay_ = other.retryDelay_;
    deadline_.store(other.deadline_.load());
    return *this;
}

void CQvNet::LoadProxyConfig() {
    std::memset(&proxy_, 0, sizeof(proxy_));
    wchar_t path[MAX_PATH + 16] = {};
    GetCurPath(path);
    // Elevated, the file is obeyed only where a standard user cannot have
    // written it: otherwise reports could be sent, with the stored
    // password, through any proxy.
    qv::ScopedFile file;
    if (qv::trust::OpenTrusted(path, L"proxy.dat", &file) != qv::trust::Verdict::Trusted) return;
    tagProxyInfo loaded{};
    DWORD got = 0;
    ::ReadFile(file.get(), &loaded, sizeof(loaded), &got, nullptr);
    // A short file fills only what it has; keep every text terminated even
    // when the file's fields are not.
    loaded.host[std::size(loaded.host) - 1] = L'\0';
    loaded.port[std::size(loaded.port) - 1] = L'\0';
    loaded.user[std::size(loaded.user) - 1] = L'\0';
    loaded.password[std::size(loaded.password) - 1] = L'\0';
    proxy_ = loaded;
}

int CQvNet::isGzip(HINTERNET request) {
    return qv::net::IsGzip(request) ? 1 : 0;
}

void CQvNet::Stop() {
    stop_.store(true);
    // A call waiting inside WinINet does not see the flag: its request is
    // closed and its caller stops waiting for it.
    calls_->CancelAll();
}

void CQvNet::SetDeadline(int ms) {
    deadline_.store(ms > 0 ? ms : 30000);
}

int CQvNet::GetDeadline() {
    return deadline_.load();
}

int GetUrlInfo(const wchar_t* url, char* reply, int replySize) {
    return CQvNet::Instance().GetUrlInfo(url, reply, replySize);
}

int isConnected(const wchar_t* url) {
    return CQvNet::Instance().isConnected(url);
}
