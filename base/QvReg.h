#pragma once
// Registry helpers: string values read and written under one rule for the
// 32-bit and 64-bit views, the machine's Run entry, and key watchers that
// run on background threads.
//
// View rule: a view flag of 0 opens the 32-bit view when the process runs
// under WOW64 and the native view otherwise; non-zero opens the 64-bit view.
#include <windows.h>
#include <atomic>
#include <vector>
#include "base/QvExport.h"
#include "base/QvLock.h"
#include "base/QvScoped.h"

typedef void(CALLBACK* QvRegCallback)(void* userData);

// Handed from StartMonitor to the watcher thread, which frees it.
struct tagMonitorReg {
    HKEY root;
    wchar_t subKey[300];
    int view;
    QvRegCallback callback;
    void* userData;
    class CQvReg* owner;
    int stops;  // StopMonitor calls made before the request: later ones end it
};

class QV_API CQvReg {
public:
    static CQvReg& Instance();

    CQvReg();
    ~CQvReg();
    // Holds a lock, which cannot be copied.
    CQvReg(const CQvReg&) = delete;
    CQvReg& operator=(const CQvReg&) = delete;

    // Reads a string value of at most 260 bytes into `out`; 1 on success.
    // On failure `out` is left as it was.
    int GetRegInfo(HKEY root, wchar_t* subKey, wchar_t* valueName, int view, wchar_t* out);
    // Writes `value` as REG_SZ into an existing key; 1 on success.
    int SetRegInfo(HKEY root, wchar_t* subKey, wchar_t* valueName, int view, const wchar_t* value);
    // Adds (enable != 0) or removes the value in HKLM's Run key. A null
    // command means this program's full path.
    int SetAutoRun(const wchar_t* valueName, int enable, const wchar_t* command);
    // Watches a key on the calling thread until StopMonitor; the callback
    // runs once at once and then once per change batch. 0 when the watch
    // cannot be set up, 1 after it ends.
    int MonitorReg(HKEY root, wchar_t* subKey, int view, QvRegCallback callback, void* userData);
    // Starts a watcher thread. Sub keys of 300 units or more are refused.
    void StartMonitor(HKEY root, const wchar_t* subKey, int view, QvRegCallback callback,
                      void* userData);
    static DWORD WINAPI MonitorThread(void* request);
    // Ends every watcher started before it and returns once none of their
    // callbacks runs any more (within half a second plus the time a running
    // callback takes), so that their userData may be freed. Called from a
    // callback, it does not wait for that callback's own watcher. Watchers
    // started afterwards are not affected.
    void StopMonitor();
    // Number of watcher threads still running.
    int GetMonitorCount();

private:
    friend struct QvRegWatchers;  // StartMonitor's and the watchers' bookkeeping
    int Watch(HKEY root, const wchar_t* subKey, int view, QvRegCallback callback, void* userData,
              int stops);

    // Counts StopMonitor calls: a flag that StartMonitor cleared again could
    // revive watchers that had not yet seen the stop.
    std::atomic<int> stop_{0};
    int monitors_ = 0;  // changed only under lock_; counted from StartMonitor on
    CLock lock_;
    // Watchers whose callback may still run, for StopMonitor to wait on.
    struct Running {
        const tagMonitorReg* request;
        int stops;
        DWORD thread;  // 0 until the watcher's thread has started
    };
    std::vector<Running> running_;
    qv::CriticalSection runningCs_;
    CONDITION_VARIABLE runningEnded_ = CONDITION_VARIABLE_INIT;
};

QV_API int GetRegInfo(HKEY root, wchar_t* subKey, wchar_t* valueName, int view, wchar_t* out);
QV_API int SetRegInfo(HKEY root, wchar_t* subKey, wchar_t* valueName, int view,
                      const wchar_t* value);
QV_API int SetAutoRun(const wchar_t* valueName, int enable, const wchar_t* command);
QV_API void StartMonitor(HKEY root, const wchar_t* subKey, int view, QvRegCallback callback,
                         void* userData);
QV_API void StopMonitor();
