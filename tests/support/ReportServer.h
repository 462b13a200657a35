#pragma once
// The local report server (tools/report-server.py) as the tests see it.
// The ctest fixture starts it beside the test programs; it writes its ports
// to report-server.json and every request it receives, one JSON object a
// line, to report-server.log in that same folder. Every ctest test program
// requires that fixture (tests/CMakeLists.txt).
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qvtest {

// One request as the server received it. Text fields hold the raw bytes.
struct HttpRecord {
    int seq = 0;
    std::string listener;  // normal, gzip, close, hang, proxy, garbage, silent, short,
                           // trickle, redirect, bomb, tls
    std::string event;     // "closed" for connections the close listener dropped;
                           // "handshake" or "handshake failed" from tls
    std::string method, target, version;
    std::vector<std::pair<std::string, std::string>> headers;  // in the order sent
    std::string body;

    // First header of that name (case-insensitive), or null.
    const std::string* Header(const char* name) const;
};

class ReportServer {
public:
    // Reads the port file; false (with a message in error()) when the server
    // is not running, e.g. when a test program is started outside ctest.
    bool Load();
    const std::string& error() const { return error_; }

    // Port of a listener: "normal", "gzip", "close", "refuse", "hang", "proxy",
    // "garbage", "tls", and the hostile "silent", "short", "trickle",
    // "redirect", "bomb" (tools/report-server.py says how each answers).
    int Port(const char* listener) const;
    // "127.0.0.1:<port>" of that listener.
    std::wstring Host(const char* listener) const;
    // "http://127.0.0.1:<port>" followed by `path`.
    std::wstring Url(const char* listener, const std::wstring& path) const;

    // Every request recorded so far.
    std::vector<HttpRecord> Records() const;
    // Waits up to `ms` for a request that `match` accepts; fills `found`.
    bool WaitFor(const std::function<bool(const HttpRecord&)>& match, DWORD ms,
                 HttpRecord* found = nullptr) const;

private:
    std::vector<std::pair<std::string, int>> ports_;
    std::string error_;
};

}  // namespace qvtest
