#pragma once
// A small blocking HTTP client over WinINet: GET and POST into a caller's
// byte buffer, and a reachability probe. Asks servers for gzip and inflates
// compressed replies; honours an optional "proxy.dat" beside the program;
// logs network failures through the logger.
//
// What a caller can rely on, whatever answers in the server's place:
// - every call ends within its deadline (SetDeadline, 30 s by default),
//   however the server stalls, trickles or lies about its length, and then
//   returns 0; Stop ends calls in flight from any thread;
// - an https URL goes over TLS with the server's certificate checked, to
//   port 443 unless the URL names another, or the call returns 0; any
//   other URL goes as plain HTTP, to port 80 unless it names another;
// - redirects are not followed: a 3xx answer is the reply; no log-on,
//   cookies, cache writes or dialogs happen on the caller's behalf;
// - a reply is inflated only when it says "Content-Encoding: gzip", and
//   only into the caller's buffer: a gzip bomb costs at most replySize - 1
//   bytes of output;
// - an elevated program takes "proxy.dat" (and zlib1.dll) from its folder
//   only when no one but administrators, SYSTEM and TrustedInstaller can
//   write there.
#include <windows.h>
#include "base/QvWinInet.h"
#include <atomic>
#include <memory>
#include "base/QvExport.h"

namespace qv::net {
class CallList;
struct ClientAccess;
}

// Layout of "proxy.dat" (428 bytes, little-endian, UTF-16 fields).
struct tagProxyInfo {
    int enabled;
    wchar_t host[100];
    wchar_t port[12];
    wchar_t user[50];
    wchar_t password[50];
};
static_assert(sizeof(tagProxyInfo) == 428, "proxy.dat is exactly this record");

class QV_API CQvNet {
public:
    static CQvNet& Instance();

    CQvNet();
    ~CQvNet();
    CQvNet(const CQvNet& other);
    CQvNet& operator=(const CQvNet& other);

    // Rereads "proxy.dat" from the program's folder; zeroes when absent.
    void LoadProxyConfig();
    // GET into `reply` (at most replySize - 1 bytes and a terminating zero).
    // 1 when a reply was read, whatever its HTTP status; 0 on a network
    // failure.
    int GetUrlInfo(const wchar_t* url, char* reply, int replySize);
    // POST of a form body; results as GetUrlInfo.
    int Post(const wchar_t* url, void* body, int bodySize, char* reply, int replySize);
    // 1 when a GET request to the URL could be sent.
    int isConnected(const wchar_t* url);
    // 1 when the reply carries "Content-Encoding: gzip".
    int isGzip(HINTERNET request);
    // Makes every read end at once, for good: calls in flight are cut off
    // (their requests closed; they return 0 at once) and later calls go
    // out but read nothing.
    void Stop();
    // Length of the calling thread's last GetUrlInfo or Post reply, after
    // inflating; other threads' calls do not change it.
    int GetInfoLen();
    // The most a GetUrlInfo, Post or isConnected may take, in milliseconds,
    // connection attempts included (30,000 by default; 0 or less restores
    // it). A call that runs out returns 0.
    void SetDeadline(int ms);
    int GetDeadline();

private:
    friend struct qv::net::ClientAccess;  // the request code's view of the settings

    tagProxyInfo proxy_;
    std::atomic<bool> stop_{false};
    int attempts_ = 3;
    int retryDelay_ = 1000;  // ms between connection attempts
    std::atomic<int> deadline_{30000};
    std::shared_ptr<qv::net::CallList> calls_;  // calls in flight, for Stop
};

QV_API int GetUrlInfo(const wchar_t* url, char* reply, int replySize);
QV_API int isConnected(const wchar_t* url);
