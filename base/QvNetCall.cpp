#include "base/QvNetCall.h"

#include <algorithm>

namespace qv::net {

using Guard = qv::ScopedCriticalSection;

CallList::CallList() : stopped_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void CallList::Add(Call* call) {
    Guard g(cs_);
    calls_.push_back(call);
}

void CallList::Remove(Call* call) {
    Guard g(cs_);
    calls_.erase(std::remove(calls_.begin(), calls_.end(), call), calls_.end());
}

void CallList::CancelAll() {
    if (stopped_) ::SetEvent(stopped_.get());
    Guard g(cs_);
    for (Call* call : calls_) {
        if (call->request_ && !call->closed_) {
            call->closed_ = true;
            ::InternetCloseHandle(call->request_);
        }
    }
}

Call::Call(CallList& list, DWORD budgetMs)
    : list_(list), start_(::GetTickCount()), budget_(budgetMs ? budgetMs : 1) {
    list_.Add(this);
    // A timer of the default queue closes the request at the deadline, even
    // while this thread is blocked inside WinINet. Without it the time-outs
    // set on the request still end the call, only later.
    if (!::CreateTimerQueueTimer(&timer_, nullptr, &Call::OnDeadline, this, budget_, 0,
                                 WT_EXECUTEONLYONCE))
        timer_ = nullptr;
}

Call::~Call() {
    // Waits for a deadline callback that is running, so that it never
    // touches a call that is gone.
    if (timer_) ::DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
    list_.Remove(this);
    if (request_ && !closed_) ::InternetCloseHandle(request_);
}

DWORD Call::Remaining() const {
    const DWORD spent = ::GetTickCount() - start_;  // wraps correctly
    return spent >= budget_ ? 0 : budget_ - spent;
}

void Call::Adopt(HINTERNET request) {
    Guard g(list_.cs_);
    request_ = request;
    closed_ = false;
}

void Call::ApplyTimeouts(HINTERNET other) const {
    DWORD left = Remaining();
    if (!left) left = 1;  // 0 would mean "no time-out" to WinINet
    for (HINTERNET h : {request_, other}) {
        if (!h) continue;
        ::InternetSetOptionW(h, INTERNET_OPTION_SEND_TIMEOUT, &left, sizeof(left));
        ::InternetSetOptionW(h, INTERNET_OPTION_RECEIVE_TIMEOUT, &left, sizeof(left));
        ::InternetSetOptionW(h, INTERNET_OPTION_DATA_SEND_TIMEOUT, &left, sizeof(left));
        ::InternetSetOptionW(h, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &left, sizeof(left));
    }
}

void Call::Cancel() {
    Guard g(list_.cs_);
    if (request_ && !closed_) {
        closed_ = true;
        ::InternetCloseHandle(request_);
    }
}

bool Call::Cancelled() const {
    Guard g(list_.cs_);
    return closed_;
}

void CALLBACK Call::OnDeadline(void* self, BOOLEAN) {
    static_cast<Call*>(self)->Cancel();
}

}  // namespace qv::net
