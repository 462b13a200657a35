#pragma once
// A lock with an exclusive and a shared mode.
#include <windows.h>
#include "base/QvExport.h"
#include "base/QvScoped.h"

// Shared holders join while other readers hold the lock, so the last reader
// out is not necessarily the thread that got in first. The exclusive section
// is therefore a binary semaphore (releasable by any thread) rather than a
// critical section, and the flags and reader count sit behind a small guard
// of their own so that concurrent readers update them safely.
class QV_API CLock {
public:
    CLock();
    ~CLock();
    // Copying would release the same kernel objects twice.
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

    void Lock();
    void Unlock();
    void LockRead();
    void UnlockRead();
    bool IsLockWrite();
    bool IsLockRead();

private:
    qv::ScopedHandle section_;  // binary semaphore: 1 = free
    bool writeFlag_ = false;
    bool readFlag_ = false;
    int readers_ = 0;
    qv::CriticalSection guard_;  // protects the two flags and the count
};
