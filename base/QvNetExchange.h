#pragma once
// One GET or POST, run on a worker thread that the caller waits for until
// the reply is in, the deadline passes or Stop is called, whichever comes
// first. A worker stuck in WinINet is left to end at its own time-outs; it
// writes only into its own buffers, never into the caller's.
#include <memory>
#include <vector>

#include "base/QvNet.h"
#include "base/QvNetCall.h"
#include "base/QvNetSession.h"

namespace qv::net {

struct Request {
    Target target;
    bool post = false;
    std::vector<char> body;
    int replySize = 0;
    tagProxyInfo proxy{};
    int attempts = 3;
    int retryDelay = 1000;
    DWORD deadline = 30000;
    bool stopped = false;  // Stop was called before this request
};

// Fills `reply` (replySize bytes) and returns the reply's length, or -1
// when the request failed (logged), ran out of time or was cut off by Stop.
int Fetch(const std::shared_ptr<CallList>& calls, Request request, char* reply);

// Flags of every request: a redirect answer is returned as it came, and
// nothing is done on the user's behalf (log-on, cookies, cache, dialogs).
// A report answered from elsewhere must never make the elevated program
// log on to another host as the user or store what it sent.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT |
                                INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_COOKIES |
                                INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_NO_UI;

// Flags of a request to `target`: an https target is spoken to over TLS
// with the server's certificate checked, and no flag may relax that check.
inline DWORD RequestFlags(const Target& target) {
    return kRequestFlags | (target.secure ? INTERNET_FLAG_SECURE : 0);
}

// Time-outs for a session before any request exists: the 3 s connect
// time-out, or less when the deadline is nearer, and a single attempt.
void LimitSession(HINTERNET session, const Call& call);

}  // namespace qv::net
