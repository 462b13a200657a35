#include "base/QvReg.h"

#include <iterator>
#include <cwchar>
#include <new>

#include "base/QvScoped.h"
#include "base/QvUtil.h"

namespace {

REGSAM ViewFlag(int view) {
    if (view) return KEY_WOW64_64KEY;
    return isWow64() ? KEY_WOW64_32KEY : 0;
}

const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

}  // namespace

// Which watchers' callbacks may still run, for StopMonitor to wait on.
struct QvRegWatchers {
    static void Add(CQvReg& reg, const tagMonitorReg* request) {
        qv::ScopedCriticalSection g(reg.runningCs_);
        reg.running_.push_back(CQvReg::Running{request, request->stops, 0});
    }
    // On the watcher's thread, so that a StopMonitor called from its
    // callback does not wait for itself.
    static void Started(CQvReg& reg, const tagMonitorReg* request) {
        qv::ScopedCriticalSection g(reg.runningCs_);
        for (CQvReg::Running& r : reg.running_)
            if (r.request == request) r.thread = ::GetCurrentThreadId();
    }
    static void Ended(CQvReg& reg, const tagMonitorReg* request) {
        qv::ScopedCriticalSection g(reg.runningCs_);
        for (size_t i = 0; i < reg.running_.size(); ++i) {
            if (reg.running_[i].request != request) continue;
            reg.running_.erase(reg.running_.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
        ::WakeAllConditionVariable(&reg.runningEnded_);
    }
};

CQvReg& CQvReg::Instance() {
    static CQvReg _obj;
    return _obj;
}

CQvReg::CQvReg() = default;
CQvReg::~CQvReg() = default;

int CQvReg::GetRegInfo(HKEY root, wchar_t* subKey, wchar_t* valueName, int view, wchar_t* out) {
    qv::ScopedKey key;
    // Reading needs no more than the right to query: full access would fail
    // on keys that the caller may read but not change.
    if (::RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE | ViewFlag(view), key.put()) !=
        ERROR_SUCCESS)
        return 0;
    // Two spare units beyond the 260 bytes we accept keep the text
    // terminated even when the stored value carries no terminator.
    wchar_t buf[262] = {};
    DWORD bytes = 260;
    if (::RegQueryValueExW(key.get(), valueName, nullptr, nullptr,
                           reinterpret_cast<BYTE*>(buf), &bytes) != ERROR_SUCCESS)
        return 0;
    if (out) std::wcscpy(out, buf);
    return 1;
}

int CQvReg::SetRegInfo(HKEY root, wchar_t* subKey, wchar_t* valueName, int view,
                       const wchar_t* value) {
    if (!value) return 0;
    qv::ScopedKey key;
    if (::RegOpenKeyExW(root, subKey, 0, KEY_ALL_ACCESS | ViewFlag(view), key.put()) !=
        ERROR_SUCCESS)
        return 0;
    DWORD bytes = static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), valueName, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value), bytes) == ERROR_SUCCESS;
}

int CQvReg::SetAutoRun(const wchar_t* valueName, int enable, const wchar_t* command) {
    qv::ScopedKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS, key.put()) !=
        ERROR_SUCCESS)
        return 0;
    if (!enable) {
        ::RegDeleteValueW(key.get(), valueName);  // absent already is fine
        return 1;
    }
    wchar_t self[MAX_PATH] = {};
    if (!command) {
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        self[MAX_PATH - 1] = L'\0';
        command = self;
    }
    // The terminator is stored with the text: readers that use
    // RegQueryValueEx get a terminated string, as the API requires.
    DWORD bytes = static_cast<DWORD>((std::wcslen(command) + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), valueName, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(command), bytes) == ERROR_SUCCESS;
}

int CQvReg::MonitorReg(HKEY root, wchar_t* subKey, int view, QvRegCallback callback,
                       void* userData) {
    return Watch(root, subKey, view, callback, userData, stop_.load());
}

int CQvReg::Watch(HKEY root, const wchar_t* subKey, int view, QvRegCallback callback,
                  void* userData, int stops) {
    qv::ScopedHandle event(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    if (!event) return 0;
    const REGSAM access = KEY_NOTIFY | ViewFlag(view);
    qv::ScopedKey key;
    if (::RegOpenKeyExW(root, subKey, 0, access, key.put()) != ERROR_SUCCESS) return 0;
    if (::RegNotifyChangeKeyValue(key.get(), TRUE, REG_NOTIFY_CHANGE_NAME, event.get(), TRUE) !=
        ERROR_SUCCESS)
        return 0;
    // The callback runs once as soon as the watch begins, so the caller can
    // read the key's first state. Registering resets the event (as every
    // asynchronous request does), so it is signalled again here.
    ::SetEvent(event.get());
    while (stop_.load() == stops) {
        if (::WaitForSingleObject(event.get(), 500) != WAIT_OBJECT_0) continue;
        // Armed again before the callback: a change made while it runs (or
        // just after it returns) signals the new registration instead of
        // being lost. Each registration goes on a fresh handle: a
        // registration still pending on the old one (the first, after the
        // forced call) would otherwise keep its narrower filter. Closing the
        // old handle ends that registration and may signal the event, hence
        // the reset after.
        qv::ScopedKey fresh;
        if (::RegOpenKeyExW(root, subKey, 0, access, fresh.put()) == ERROR_SUCCESS)
            key = std::move(fresh);
        ::ResetEvent(event.get());
        ::RegNotifyChangeKeyValue(key.get(), TRUE,
                                  REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                  event.get(), TRUE);
        if (callback) callback(userData);
    }
    return 1;
}

void CQvReg::StartMonitor(HKEY root, const wchar_t* subKey, int view, QvRegCallback callback,
                          void* userData) {
    if (!subKey) return;
    tagMonitorReg* request = new (std::nothrow) tagMonitorReg{};
    if (!request) return;
    // A longer path would be cut into a different key: refuse it instead.
    if (std::wcslen(subKey) >= std::size(request->subKey)) {
        delete request;
        return;
    }
    request->root = root;
    std::wcscpy(request->subKey, subKey);
    request->view = view;
    request->callback = callback;
    request->userData = userData;
    request->owner = this;
    request->stops = stop_.load();
    // Counted before the thread runs, so that a count read right after this
    // call already includes the new watcher.
    lock_.Lock();
    ++monitors_;
    lock_.Unlock();
    QvRegWatchers::Add(*this, request);
    // The watcher is never joined; it ends on a stop made after it started.
    qv::ScopedHandle thread(::CreateThread(nullptr, 0, &CQvReg::MonitorThread, request, 0, nullptr));
    if (thread) return;
    QvRegWatchers::Ended(*this, request);
    delete request;
    lock_.Lock();
    --monitors_;
    lock_.Unlock();
}

DWORD WINAPI CQvReg::MonitorThread(void* param) {
    tagMonitorReg* request = static_cast<tagMonitorReg*>(param);
    if (!request) return 1;
    CQvReg* owner = request->owner;
    QvRegWatchers::Started(*owner, request);
    owner->Watch(request->root, request->subKey, request->view, request->callback,
                 request->userData, request->stops);
    QvRegWatchers::Ended(*owner, request);  // the callback cannot run any more
    delete request;
    owner->lock_.Lock();
    --owner->monitors_;
    owner->lock_.Unlock();
    return 0;
}

void CQvReg::StopMonitor() {
    const int stops = stop_.fetch_add(1) + 1;
    // Callers free the callbacks' userData once this returns, so wait until
    // no watcher this stop ends can call back any more. A callback that
    // stops its own watcher cannot wait for itself.
    const DWORD self = ::GetCurrentThreadId();
    qv::ScopedCriticalSection g(runningCs_);
    for (;;) {
        bool waiting = false;
        for (const Running& r : running_)
            if (r.stops < stops && r.thread != self) waiting = true;
        if (!waiting) return;
        ::SleepConditionVariableCS(&runningEnded_, runningCs_.get(), INFINITE);
    }
}

int CQvReg::GetMonitorCount() {
    lock_.LockRead();
    int n = monitors_;
    lock_.UnlockRead();
    return n;
}

int GetRegInfo(HKEY root, wchar_t* subKey, wchar_t* valueName, int view, wchar_t* out) {
    return CQvReg::Instance().GetRegInfo(root, subKey, valueName, view, out);
}

int SetRegInfo(HKEY root, wchar_t* subKey, wchar_t* valueName, int view, const wchar_t* value) {
    return CQvReg::Instance().SetRegInfo(root, subKey, valueName, view, value);
}

int SetAutoRun(const wchar_t* valueName, int enable, const wchar_t* command) {
    return CQvReg::Instance().SetAutoRun(valueName, enable, command);
}

void StartMonitor(HKEY root, const wchar_t* subKey, int view, QvRegCallback callback,
                  void* userData) {
    CQvReg::Instance().StartMonitor(root, subKey, view, callback, userData);
}

void StopMonitor() {
    CQvReg::Instance().StopMonitor();
}
