#include "base/QvLock.h"

#include "base/QvScoped.h"

using Guard = qv::ScopedCriticalSection;

CLock::CLock() = default;

CLock::~CLock() = default;

void CLock::Lock() {
    Guard g(guard_);
    ++writersWaiting_;
    while (writeFlag_ || readers_ > 0)
        ::SleepConditionVariableCS(&changed_, guard_.get(), INFINITE);
    --writersWaiting_;
    writeFlag_ = true;
    readFlag_ = true;
}

void CLock::Unlock() {
    Guard g(guard_);
    if (!writeFlag_) return;  // unbalanced call: nothing is held
    writeFlag_ = false;
    readFlag_ = false;
    ::WakeAllConditionVariable(&changed_);
}

void CLock::LockRead() {
    Guard g(guard_);
    while (writeFlag_ || writersWaiting_ > 0)
        ::SleepConditionVariableCS(&changed_, guard_.get(), INFINITE);
    ++readers_;
    readFlag_ = true;
}

void CLock::UnlockRead() {
    Guard g(guard_);
    if (readers_ <= 0) return;  // unbalanced call: nothing is held
    if (--readers_ == 0) {
        readFlag_ = false;
        ::WakeAllConditionVariable(&changed_);
    }
}

bool CLock::IsLockWrite() {
    Guard g(guard_);
    return writeFlag_;
}

bool CLock::IsLockRead() {
    Guard g(guard_);
    return readFlag_;
}
