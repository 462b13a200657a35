#pragma once
// Pieces shared by the HTTP client's operations.
#include <string>

#include "base/QvNet.h"
#include "base/QvScoped.h"

namespace qv::net {

// Where a request goes: host name and port to connect to, the Host header,
// the path with its query, and whether it must go over TLS.
struct Target {
    std::wstring host;
    INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
    std::wstring hostHeader;
    std::wstring path;
    bool secure = false;
};

// Whether the URL names the https scheme (in any case of letters).
bool IsHttps(const std::wstring& url);

// The host begins at `hostStart` and runs to the next "/" (searched from one
// character after its start); the path is the rest, or "/". An explicit
// ":port" after the host is connected to and kept in the Host header;
// otherwise the port is 443 for https and 80 for anything else.
Target SplitUrl(const std::wstring& url, size_t hostStart);

// InternetOpen with a fresh "Agent<ticks>" user agent and the proxy chosen
// by proxy.dat or the system's connection state.
ScopedInternet OpenSession(const tagProxyInfo& proxy);

// Whether the reply says "Content-Encoding: gzip" (in any case).
bool IsGzip(HINTERNET request);

// Sets the stored proxy user name and password on a connection.
void SetProxyCredentials(HINTERNET connection, const tagProxyInfo& proxy);

}  // namespace qv::net
