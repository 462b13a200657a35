#include "base/QvLock.h"

#include "base/QvScoped.h"

using Guard = qv::ScopedCriticalSection;

CLock::CLock() : section_(::CreateSemaphoreW(nullptr, 1, 1, nullptr)) {}

CLock::~CLock() = default;

void CLock::Lock() {
    ::WaitForSingleObject(section_.get(), INFINITE);
    Guard g(guard_);
    writeFlag_ = true;
    readFlag_ = true;
}

void CLock::Unlock() {
    {
        Guard g(guard_);
        writeFlag_ = false;
        readFlag_ = false;
    }
    ::ReleaseSemaphore(section_.get(), 1, nullptr);
}

void CLock::LockRead() {
    {
        Guard g(guard_);
        if (readFlag_ && !writeFlag_) {  // readers hold it: join them
            ++readers_;
            return;
        }
    }
    ::WaitForSingleObject(section_.get(), INFINITE);
    Guard g(guard_);
    ++readers_;
    readFlag_ = true;
}

void CLock::UnlockRead() {
    Guard g(guard_);
    if (readers_ <= 0) return;  // unbalanced call: nothing is held
    if (--readers_ == 0) {
        readFlag_ = false;
        ::ReleaseSemaphore(section_.get(), 1, nullptr);
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
