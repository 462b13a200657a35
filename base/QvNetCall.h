#pragma once
// One GET or POST in flight: its deadline and a request handle that another
// thread may close. WinINet's blocking calls can only be cut short from
// outside by closing the handle they use, so Stop and the deadline timer
// close it here, and the owner closes it only if nobody did.
#include <windows.h>
#include <wininet.h>

#include <vector>

#include "base/QvScoped.h"

namespace qv::net {

class Call;

// The calls of one client, so that Stop can reach them.
class CallList {
public:
    void Add(Call* call);
    void Remove(Call* call);
    // Closes the request of every call in flight.
    void CancelAll();

private:
    friend class Call;
    qv::CriticalSection cs_;
    std::vector<Call*> calls_;
};

class Call {
public:
    Call(CallList& list, DWORD budgetMs);
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
    // Closes the request now; the call then fails at its next WinINet step.
    void Cancel();
    bool Cancelled() const;

private:
    friend class CallList;
    static void CALLBACK OnDeadline(void* self, BOOLEAN);

    CallList& list_;
    const DWORD start_;
    const DWORD budget_;
    HINTERNET request_ = nullptr;
    bool closed_ = false;  // guarded by list_.cs_
    HANDLE timer_ = nullptr;
};

}  // namespace qv::net
