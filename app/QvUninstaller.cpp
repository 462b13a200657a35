#include "app/QvUninstaller.h"

#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "app/ClearBatch.h"
#include "app/QvReport.h"
#include "app/ShellPlaces.h"
#include "app/UninstallRules.h"
#include "app/UninstallSafety.h"
#include "app/UninstallWalk.h"
#include "base/QvLog.h"
#include "base/QvScoped.h"
#include "base/QvUtil.h"
#include "ui/QvThread.h"

namespace {

// The worker starts 300 ms after the click. Reading the data file and
// counting the files change nothing, so they run inside that pause; the
// report and the deletion wait for its end. Set on the worker's own thread
// only (0: no pause, as when the engine runs on the caller's thread).
constexpr DWORD kStartPauseMs = 300;
thread_local DWORD t_pauseEnd = 0;
thread_local bool t_paused = false;

void WaitOutPause() {
    if (!t_paused) return;
    t_paused = false;
    const DWORD left = t_pauseEnd - ::GetTickCount();
    if (left > 0 && left <= kStartPauseMs) ::Sleep(left);
}

constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// A folder record names the folder to which "*.*" is appended; without its
// backslash the search would match the folder's siblings instead.
bool EndFolderPath(wchar_t* path) {
    size_t len = std::wcslen(path);
    if (len > 0 && path[len - 1] == L'\\') return true;
    if (len + 1 >= MAX_PATH) return false;
    path[len] = L'\\';
    path[len + 1] = L'\0';
    return true;
}

bool IsPlainKeyName(const wchar_t* name) {
    return name && qv::rules::IsPlainKeyName(std::wstring_view(name));
}

}  // namespace

CQvUninstaller::CQvUninstaller()
    : notifyWnd(nullptr), totalFiles(0), deletedFiles(0), stayedFiles(0), header{},
      ownFolder{},
      workerRunning(0) {
    GetCurPath(ownFolder);
}

CQvUninstaller::~CQvUninstaller() {
    // The worker works on this object; it has no way to stop early.
    WaitWorkDone(INFINITE);
}

CQvUninstaller::CQvUninstaller(const CQvUninstaller& other)
    : notifyWnd(other.notifyWnd), totalFiles(other.totalFiles),
      deletedFiles(other.deletedFiles), stayedFiles(other.stayedFiles), header{},
      workerRunning(0) {
    qv::ScopedCriticalSection hold(other.listLock);
    header = other.header;
    entries = other.entries;
    shortcuts = other.shortcuts;
    std::memcpy(ownFolder, other.ownFolder, sizeof(ownFolder));
}

CQvUninstaller& CQvUninstaller::operator=(const CQvUninstaller& other) {
    if (this == &other) return *this;
    UninstallHeader otherHeader;
    std::vector<UninstallEntry> otherEntries, otherShortcuts;
    {
        qv::ScopedCriticalSection hold(other.listLock);
        otherHeader = other.header;
        otherEntries = other.entries;
        otherShortcuts = other.shortcuts;
    }
    qv::ScopedCriticalSection hold(listLock);
    notifyWnd = other.notifyWnd;
    totalFiles = other.totalFiles;
    deletedFiles = other.deletedFiles;
    stayedFiles = other.stayedFiles;
    header = otherHeader;
    entries.swap(otherEntries);
    shortcuts.swap(otherShortcuts);
    std::memcpy(ownFolder, other.ownFolder, sizeof(ownFolder));
    return *this;  // this engine's own worker state is its own
}

void CQvUninstaller::StartUninstall(HWND hWnd, int inThread) {
    // Two runs on one engine would share its counters and lists.
    if (::InterlockedCompareExchange(&workerRunning, 1, 0) != 0) return;
    notifyWnd = hWnd;
    if (!inThread) {
        UninstallFunc();
        ::InterlockedExchange(&workerRunning, 0);
        return;
    }
    // Detached: completion is the final message, so the handle is only closed.
    qv::ScopedHandle thread(CQvThread::Instance().StartThread(&CQvUninstaller::UninstallThread, this, 0));
    if (thread) return;
    // No thread to be had: do the work here rather than leave the dialog
    // waiting for a message that would never come.
    UninstallFunc();
    FinishWorker();
}

unsigned CQvUninstaller::UninstallThread(void* engine) {
    auto* self = static_cast<CQvUninstaller*>(engine);
    if (!self) return 0;
    t_pauseEnd = ::GetTickCount() + kStartPauseMs;
    t_paused = true;
    self->UninstallFunc();
    WaitOutPause();  // a run that ended early still ends after the pause
    self->FinishWorker();
    return 0;
}

void CQvUninstaller::FinishWorker() {
    HWND wnd = notifyWnd;
    ::InterlockedExchange(&workerRunning, 0);  // last touch of this object
    if (!wnd) return;
    ::PostMessageW(wnd, WM_UNINSTALL_PROGRESS, 100, 0);
    ::PostMessageW(wnd, WM_UNINSTALL_DONE, 0, 0);
}

bool CQvUninstaller::IsWorkDone() const {
    return workerRunning == 0;
}

bool CQvUninstaller::WaitWorkDone(DWORD timeoutMs) const {
    DWORD start = ::GetTickCount();
    while (workerRunning != 0) {
        if (timeoutMs != INFINITE && ::GetTickCount() - start >= timeoutMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_SENDMESSAGE);
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return true;
}

bool CQvUninstaller::UninstallFunc() {
    UninstallHeader read{};
    std::vector<UninstallEntry> listed, extra;
    std::wstring why;
    // Without the program's folder the data file's path would be relative,
    // and own-folder mode would have no folder to delete. Elevated, a data
    // file that others could have written is not obeyed at all, and the
    // program does not remove even itself.
    UninstallSource source = ownFolder[0] ? LoadUninstallData(ownFolder, &read, &listed, &extra, &why)
                                          : UninstallSource::Missing;
    if (source != UninstallSource::Read) {
        if (source == UninstallSource::Untrusted) refused = true;
        if (!why.empty()) CQvLog::Instance().WriteLog2(L"uninstall: nothing done: %s", why.c_str());
        WaitOutPause();
        if (notifyWnd) ::PostMessageW(notifyWnd, WM_UNINSTALL_PROGRESS, 100, 0);
        return false;
    }
    bool ownFolderMode = read.installDir[0] != L'\0';
    // Keep the usable records in place: a long list is not copied again.
    size_t kept = 0;
    if (!ownFolderMode) {
        for (UninstallEntry& entry : listed) {
            if (!entry.isFile && !EndFolderPath(entry.path)) continue;
            if (!qv::IsDeletableTarget(entry.path)) continue;
            if (&listed[kept] != &entry) listed[kept] = entry;
            ++kept;
        }
    }
    listed.resize(kept);
    {
        qv::ScopedCriticalSection hold(listLock);
        header = read;
        entries.swap(listed);
        shortcuts.swap(extra);
    }
    deletedFiles = 0;
    stayedFiles = 0;
    totalFiles = 0;
    {
        qv::ScopedCriticalSection hold(listLock);
        stayed.Clear();
    }
    // CountFiles and DelDir check the folder: an uninstaller copied onto
    // the desktop must not take the desktop.
    if (ownFolderMode)
        totalFiles = CountFiles(ownFolder);
    else
        for (const UninstallEntry& entry : entries)
            totalFiles += entry.isFile ? 1 : CountFiles(entry.path);
    WaitOutPause();

    wchar_t reportUrl[200] = {};
    GetReportUrl(reportUrl);
    DoReport(reportUrl, L"uninstall", FieldText(header.productName));

    if (ownFolderMode) {
        DelDir(ownFolder);
    } else {
        for (const UninstallEntry& entry : entries) {
            if (!entry.isFile)
                DelDir(entry.path);
            else if (!qv::DeleteFileChecked(entry.path) &&
                     ::GetFileAttributesW(entry.path) != INVALID_FILE_ATTRIBUTES)
                NoteStayedFile(entry.path);
        }
    }
    const wchar_t* keyName = FieldText(header.regKeyName);
    const bool keyGone = ClearReg(keyName);
    DelShortcut();
    // The reports stay as they are; the log, when switched on, says what
    // was left (locked, read-only or refused).
    if (stayedFiles > 0)
        CQvLog::Instance().WriteLog2(L"uninstall: %d file(s) could not be deleted", stayedFiles);
    if (!keyGone && *keyName)
        CQvLog::Instance().WriteLog2(L"uninstall: the uninstall key %s stayed", keyName);
    return true;
}

int CQvUninstaller::CountFiles(const wchar_t* folder) {
    return qv::CountFilesBelow(qv::OpenWalkRoot(folder));
}

bool CQvUninstaller::DelDir(const wchar_t* folder) {
    // Refused: a folder that is a link, or has one on its path, a protected
    // folder; a link named here stays, for it may hold a whole volume.
    qv::HeldFolder root = qv::OpenWalkRoot(folder);
    if (!root) return false;
    qv::DeleteBelow(root, [this](const qv::HeldFolder& in, std::wstring_view name, bool deleted) {
        // A file that stays (locked, read-only) counts: progress moves on.
        ++deletedFiles;
        if (!deleted) {
            ++stayedFiles;
            qv::ScopedCriticalSection hold(listLock);
            stayed.Add(in.handle.get(), name);
        }
        SendProgress();
    });
    {
        qv::ScopedCriticalSection hold(listLock);
        stayed.ScheduleBelow(root.handle.get());
    }
    qv::RemoveWalkRoot(std::move(root), folder);  // fails while something below stays
    return true;
}

void CQvUninstaller::NoteStayedFile(const wchar_t* path) {
    ++stayedFiles;
    // Kept, and scheduled, at the final path of its folder as opened here.
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    if (!slash) return;
    std::wstring folder(path, slash);
    qv::HeldFolder held = qv::OpenWalkRoot(folder.c_str());
    if (!held) return;
    qv::ScopedCriticalSection hold(listLock);
    stayed.Add(held.handle.get(), slash + 1);
    stayed.ScheduleBelow(held.handle.get());
}

std::vector<std::wstring> CQvUninstaller::StayedFiles(int* scheduled) const {
    qv::ScopedCriticalSection hold(listLock);
    if (scheduled) *scheduled = stayed.Scheduled();
    return stayed.Paths();
}

void CQvUninstaller::SendProgress() {
    // With nothing counted there is no meaningful percentage to show.
    if (totalFiles <= 0 || !notifyWnd) return;
    long long percent = static_cast<long long>(deletedFiles) * 100 / totalFiles;
    // Files found after the count (the Start-menu folder's) go past 100; the
    // dialog has already been told that the work is over.
    if (percent < 0 || percent > 100) return;
    // The dialog keeps only the latest percent, and a synchronous send costs
    // the worker a round trip to the window's thread: tens of thousands of
    // equal values would make the progress the slowest part of the work.
    // Called once per file, after the count went up by one: the percent of
    // the file before is the one last sent.
    if (deletedFiles > 1 &&
        static_cast<long long>(deletedFiles - 1) * 100 / totalFiles == percent)
        return;
    ::SendMessageW(notifyWnd, WM_UNINSTALL_PROGRESS, static_cast<WPARAM>(percent), 0);
}

void CQvUninstaller::DelShortcut() {
    wchar_t path[MAX_PATH];
    const wchar_t* menuFolder = FieldText(header.startMenuFolder);
    // The programs folder comes from the user's own registry, which any
    // program of the user can point elsewhere: only the standard one will
    // do, and only a folder directly in it (an empty name would make this
    // the whole programs folder).
    if (qv::IsPlainComponent(menuFolder)) {
        wchar_t programs[MAX_PATH] = {};
        GetProgramsPath(programs);
        if (programs[0] && qv::IsStandardProgramsFolder(qv::FinalFolderPath(programs)) &&
            qv::JoinPath(path, {programs, L"\\", menuFolder, L"\\"}))
            DelDir(path);
    }
    const wchar_t* product = FieldText(header.productName);
    if (qv::IsPlainComponent(product)) {
        wchar_t desktop[MAX_PATH] = {};
        GetDesktopPath(desktop);
        if (desktop[0] && qv::JoinPath(path, {desktop, L"\\", product, L".lnk"}))
            qv::DeleteShortcutChecked(path);
    }
    for (const UninstallEntry& shortcut : shortcuts) qv::DeleteShortcutChecked(FieldText(shortcut.path));
}

bool CQvUninstaller::ClearReg(const wchar_t* keyName) {
    if (!IsPlainKeyName(keyName)) return false;
    std::wstring key = std::wstring(kUninstallKey) + keyName;
    // No view flag: the key lives where this 32-bit program's installer,
    // seeing the same view, wrote it.
    const LSTATUS status = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

void CQvUninstaller::DeleteSelf() {
    // The last progress message can come before the key and the shortcuts
    // are gone; the process must not end under the worker.
    WaitWorkDone(INFINITE);
    if (refused) return;
    std::wstring installDir;
    {
        qv::ScopedCriticalSection hold(listLock);
        installDir = FieldText(header.installDir);
    }
    if (qv::StartClearBatch(installDir.c_str())) ::ExitProcess(0);
}
