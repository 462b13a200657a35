#pragma once
// A lock with an exclusive and a shared mode.
#include <windows.h>
#include "base/QvExport.h"
#include "base/QvScoped.h"

// Shared holders join while other readers hold the lock, so the last reader
// out is not necessarily the thread that got in first. The lock is
// therefore not a section owned by a thread but a state (flags and counts)
// behind a small critical section, with a condition variable to wait on;
// neither can fail to be created. A waiting writer goes first: readers that
// arrive while it waits queue behind it, so a steady stream of readers
// cannot keep it out. So a thread must not take a second shared hold while
// a writer may be waiting: it would queue behind that writer, which waits
// for the thread's first hold.
class QV_API CLock {
public:
    CLock();
    ~CLock();
    // Copying would share the waiters of one lock with another.
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

    void Lock();
    void Unlock();
    void LockRead();
    void UnlockRead();
    bool IsLockWrite();
    bool IsLockRead();

private:
    bool writeFlag_ = false;
    bool readFlag_ = false;
    int readers_ = 0;
    int writersWaiting_ = 0;
    qv::CriticalSection guard_;  // protects the flags and the counts
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
};
