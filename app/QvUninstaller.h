#pragma once
// The uninstall engine: reads "qvUninstall.dat" beside the program, deletes
// the product's files and folders on a worker thread while reporting
// progress to a window, removes the product's uninstall key, Start-menu
// folder and shortcuts, and finally hands the program's own removal to a
// batch file that runs after the process has ended.
#include <windows.h>

#include <string>
#include <vector>

#include "app/StayedFiles.h"
#include "app/UninstallData.h"
#include "base/QvExport.h"
#include "base/QvScoped.h"

// Engine -> window. wParam: percent done, 0..100; every 100 means the work
// is over. lParam: 0. Sent (synchronously, in order) only when the percent
// differs from the last one sent, so at most 101 times a run; the final 100
// is posted.
constexpr UINT WM_UNINSTALL_PROGRESS = 2025;
// Engine -> window, posted after the final 100 of a worker started by
// StartUninstall: every step has run and the engine may be asked to
// DeleteSelf. wParam, lParam: 0.
constexpr UINT WM_UNINSTALL_DONE = 2026;

class QV_API CQvUninstaller {
public:
    CQvUninstaller();
    ~CQvUninstaller();
    // A copy carries the data but not the worker: it starts out idle. Copying
    // an engine whose worker is reading the data file sees the lists either
    // before or after the read, never half-read.
    CQvUninstaller(const CQvUninstaller& other);
    CQvUninstaller& operator=(const CQvUninstaller& other);

    // Stores the window for progress messages. With inThread non-zero the
    // work runs on a worker thread, which posts a final 100 when it has
    // run every step; with 0 it runs on the caller's thread and no final
    // message is sent. Ignored while a run of either kind is under way.
    void StartUninstall(HWND hWnd, int inThread);
    // Deletes the Start-menu folder (only a direct child of the standard
    // programs folder of the current user or of all users), the all-users
    // desktop shortcut and the shortcut records' files (only shortcuts in
    // the standard desktop, Start-menu and Quick Launch folders).
    void DelShortcut();
    // Deletes the product's key under HKLM ...\CurrentVersion\Uninstall\ in
    // the registry view this process sees; a name of more than one key
    // component (another product's key, a subkey) is refused. True when the
    // key is gone afterwards (deleted now, or not there); false when the
    // name was refused or the key stays (it has subkeys, access denied).
    bool ClearReg(const wchar_t* keyName);
    // Writes and starts the self-delete batch and ends the process. Waits
    // for a running worker first, so that nothing is cut off. Returns only
    // when the batch cannot be written or started (and then leaves none),
    // or when the data file was refused as written by others.
    void DeleteSelf();

    // True unless a worker started by StartUninstall is still running: the
    // dialog waits for this before it hands over to DeleteSelf, because the
    // last progress message can come before the key and shortcuts are gone.
    bool IsWorkDone() const;
    // Waits until IsWorkDone() or timeoutMs pass (INFINITE allowed); handles
    // messages sent to the calling thread meanwhile, so a window thread
    // that waits does not block the worker's progress messages.
    bool WaitWorkDone(DWORD timeoutMs) const;
    // The files the last run could not delete (final paths), and in
    // *scheduled how many of them will go at the next restart.
    std::vector<std::wstring> StayedFiles(int* scheduled = nullptr) const;

private:
    static unsigned UninstallThread(void* engine);
    bool UninstallFunc();
    int CountFiles(const wchar_t* folder);
    bool DelDir(const wchar_t* folder);
    void SendProgress();
    void FinishWorker();
    void NoteStayedFile(const wchar_t* path);

    HWND notifyWnd;
    int totalFiles;
    int deletedFiles;
    // Files that could not be deleted (locked, read-only, refused); they
    // count for progress all the same.
    int stayedFiles;
    UninstallHeader header;
    std::vector<UninstallEntry> entries;
    std::vector<UninstallEntry> shortcuts;
    wchar_t ownFolder[MAX_PATH + 1];
    // 1 while a run is under way; written by the starting thread and the
    // worker.
    volatile LONG workerRunning;
    // Set when the data file was refused (others could have written it):
    // then not even the program itself is removed.
    bool refused = false;
    // Guards header and the two lists while the worker replaces them and
    // while a copy reads them.
    mutable qv::CriticalSection listLock;
    // Guarded by listLock too: the window reads it when the worker is done.
    qv::StayedFiles stayed;
};
