#pragma once
// A small blocking HTTP client over WinINet: GET and POST into a caller's
// byte buffer, and a reachability probe. Asks servers for gzip and inflates
// compressed replies; honours an optional "proxy.dat" beside the program;
// logs network failures through the logger.
#include <windows.h>
#include <wininet.h>
#include <atomic>
#include "base/QvExport.h"

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
    // Makes every read end at once, for good.
    void Stop();
    // Length of the last GetUrlInfo reply, after inflating.
    int GetInfoLen();

private:
    tagProxyInfo proxy_;
    std::atomic<bool> stop_{false};
    int attempts_ = 3;
    int retryDelay_ = 1000;  // ms between connection attempts
    std::atomic<int> replyLen_{0};
};

QV_API int GetUrlInfo(const wchar_t* url, char* reply, int replySize);
QV_API int isConnected(const wchar_t* url);
