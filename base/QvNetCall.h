#pragma once
// One GET, POST or probe in flight: its deadline and a request handle that
// another thread may close. Closing the handle is WinINet's documented way
// to end a blocking call from outside, so Stop, and a caller that gives up
// at the deadline, close it here; the call closes it only if nobody did.
// (Wine does not always wake the blocked call that way; the caller does not
// wait for it, see Fetch.)
#include <windows.h>
#include "base/QvWinInet.h"

#include <vector>

#include "base/QvScoped.h"

namespace qv::net {

class Call;

// The calls of one client, so that Stop can reach them. Shared by the
// client and its workers, which may outlive a call that gave up on them.
class CallList {
public:
    CallList();
    void Add(Call* call);
    void Remove(Call* call);
    // Closes the request of every call in flight and sets the stop event.
    void CancelAll();
    // Closes the requests of the calls made on behalf of `owner`.
    void Cancel(const void* owner);
    // Set once CancelAll has run; null if it could not be created.
    HANDLE stopped() const { return stopped_.get(); }

private:
    friend class Call;
    qv::CriticalSection cs_;
    std::vector<Call*> calls_;
    qv::ScopedHandle stopped_;
};

class Call {
public:
    // `owner` names the caller that may cancel it (see CallList::Cancel).
    Call(CallList& list, DWORD budgetMs, const void* owner = nullptr);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // Milliseconds left before the deadline; 0 once it has passed.
    DWORD Remaining() const;
    bool Expired() const { return Remaining() == 0; }

    // Takes the request handle; from now on Stop and the deadline close it.
    void Adopt(HINTERNET request);
    HINTERNET request() const { return request_; }
    // Sets the send and receive time-outs of the request (and of `other`,
    // e.g. the session) to what is left of the deadline.
    void ApplyTimeouts(HINTERNET other = nullptr) const;
    bool Cancelled() const;

private:
    friend class CallList;
    void CloseLocked();

    CallList& list_;
    const DWORD start_;
    const DWORD budget_;
    const void* owner_;
    HINTERNET request_ = nullptr;
    bool closed_ = false;  // guarded by list_.cs_
};

}  // namespace qv::net
