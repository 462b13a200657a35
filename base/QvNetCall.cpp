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
    for (Call* call : calls_) call->CloseLocked();
}

void CallList::Cancel(const void* owner) {
    Guard g(cs_);
    for (Call* call : calls_)
        if (call->owner_ == owner) call->CloseLocked();
}

Call::Call(CallList& list, DWORD budgetMs, const void* owner)
    : list_(list), start_(::GetTickCount()), budget_(budgetMs ? budgetMs : 1), owner_(owner) {
    list_.Add(this);
}

Call::~Call() {
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

void Call::CloseLocked() {
    if (request_ && !closed_) {
        closed_ = true;
        ::InternetCloseHandle(request_);
    }
}

bool Call::Cancelled() const {
    Guard g(list_.cs_);
    return closed_;
}

}  // namespace qv::net
