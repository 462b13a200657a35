#include "app/QvUninstaller.h"

#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "app/ClearBatch.h"
#include "app/QvReport.h"
#include "app/UninstallSafety.h"
#include "app/UninstallWalk.h"
#include "base/QvScoped.h"
#include "base/QvUtil.h"
#include "ui/QvThread.h"

namespace {

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

// Registry paths have no "..", but an empty component would address the
// parent: "Uninstall\" itself, or a key above the product's.
bool IsPlainKeyName(const wchar_t* name) {
    if (!name || !name[0] || name[0] == L'\\') return false;
    size_t len = std::wcslen(name);
    return name[len - 1] != L'\\' && !std::wcsstr(name, L"\\\\");
}

}  // namespace

CQvUninstaller::CQvUninstaller()
    : notifyWnd(nullptr), closing(0), totalFiles(0), deletedFiles(0), header{}, ownFolder{},
      workerRunning(0) {
    GetCurPath(ownFolder);
}

CQvUninstaller::~CQvUninstaller() {
    closing = 1;
    // The worker works on this object; it has no way to stop early.
    WaitWorkDone(INFINITE);
}

CQvUninstaller::CQvUninstaller(const CQvUninstaller& other)
    : notifyWnd(other.notifyWnd), closing(other.closing), totalFiles(other.totalFiles),
      deletedFiles(other.deletedFiles), header{}, workerRunning(0) {
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
    closing = other.closing;
    totalFiles = other.totalFiles;
    deletedFiles = other.deletedFiles;
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
    ::Sleep(300);
    self->UninstallFunc();
    self->FinishWorker();
    return 0;
}

void CQvUninstaller::FinishWorker() {
    HWND wnd = notifyWnd;
    ::InterlockedExchange(&workerRunning, 0);  // last touch of this object
    if (wnd) ::PostMessageW(wnd, WM_UNINSTALL_PROGRESS, 100, 0);
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
    wchar_t dataPath[MAX_PATH];
    // Without the program's folder the data file's path would be relative,
    // and own-folder mode would have no folder to delete.
    if (!ownFolder[0] || !qv::JoinPath(dataPath, {ownFolder, kUninstallDataFile}) ||
        !ReadUninstallFile(dataPath, &read, &listed, &extra)) {
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
    totalFiles = 0;
    for (const UninstallEntry& entry : entries)
        totalFiles += entry.isFile ? 1 : CountFiles(entry.path);

    wchar_t reportUrl[200] = {};
    GetReportUrl(reportUrl);
    DoReport(reportUrl, L"uninstall", FieldText(header.productName));

    if (ownFolderMode) {
        deletedFiles = 0;
        // CountFiles and DelDir check the folder: an uninstaller copied onto
        // the desktop must not take the desktop.
        totalFiles = CountFiles(ownFolder);
        DelDir(ownFolder);
    } else {
        for (const UninstallEntry& entry : entries) {
            if (entry.isFile)
                qv::DeleteFileChecked(entry.path);
            else
                DelDir(entry.path);
        }
    }
    ClearReg(FieldText(header.regKeyName));
    DelShortcut();
    return true;
}

int CQvUninstaller::CountFiles(const wchar_t* folder) {
    qv::ScopedFile root = qv::OpenWalkRoot(folder);
    return root ? CountIn(root.get()) : 0;
}

int CQvUninstaller::CountIn(HANDLE folder) {
    int count = 0;
    qv::ListFolder(folder, [&](const qv::FolderItem& item) {
        if (item.kind == qv::ItemKind::File) {
            ++count;
        } else if (item.kind == qv::ItemKind::Folder && !item.dotName) {
            qv::ScopedFile sub = qv::OpenItem(folder, item, qv::ItemUse::Walk);
            if (sub) count += CountIn(sub.get());
        }
    });
    return count;
}

bool CQvUninstaller::DelDir(const wchar_t* folder) {
    // The folder itself may be a link: remove the link, never its target.
    if (qv::IsDirectoryLink(folder)) {
        qv::RemoveDirectoryLink(folder);
        return true;
    }
    qv::ScopedFile root = qv::OpenWalkRoot(folder);
    if (!root) return false;
    DeleteIn(root.get());
    qv::RemoveWalkRoot(std::move(root), folder);  // fails while something below stays
    return true;
}

// Deletes what lies below an open folder, in the order it is listed: each
// file with one progress message, each folder after what it holds.
void CQvUninstaller::DeleteIn(HANDLE folder) {
    qv::ListFolder(folder, [&](const qv::FolderItem& item) {
        if (item.dotName && item.kind != qv::ItemKind::File) return;
        if (item.kind == qv::ItemKind::Folder) {
            qv::ScopedFile sub = qv::OpenItem(folder, item, qv::ItemUse::Walk);
            if (!sub) return;
            DeleteIn(sub.get());
        }
        // Opened (again) to be deleted: a folder once emptied, a link as
        // itself, a file; in each case the very object that was listed.
        qv::ScopedFile handle = qv::OpenItem(folder, item, qv::ItemUse::Delete);
        if (handle) qv::DeleteByHandle(handle.get());
        handle.reset();
        if (item.kind == qv::ItemKind::File) {
            // A locked file stays, but counts: progress moves on.
            ++deletedFiles;
            SendProgress();
        }
    });
}

void CQvUninstaller::SendProgress() {
    // With nothing counted there is no meaningful percentage to show.
    if (totalFiles <= 0 || !notifyWnd) return;
    long long percent = static_cast<long long>(deletedFiles) * 100 / totalFiles;
    // Files found after the count (the Start-menu folder's) go past 100; the
    // dialog has already been told that the work is over.
    if (percent < 0 || percent > 100) return;
    ::SendMessageW(notifyWnd, WM_UNINSTALL_PROGRESS, static_cast<WPARAM>(percent), 0);
}

void CQvUninstaller::DelShortcut() {
    wchar_t path[MAX_PATH];
    const wchar_t* menuFolder = FieldText(header.startMenuFolder);
    // An empty name would make this the whole Programs folder.
    if (menuFolder[0]) {
        wchar_t programs[MAX_PATH] = {};
        GetProgramsPath(programs);
        if (programs[0] && qv::JoinPath(path, {programs, L"\\", menuFolder, L"\\"}))
            DelDir(path);
    }
    const wchar_t* product = FieldText(header.productName);
    if (product[0]) {
        wchar_t desktop[MAX_PATH] = {};
        GetDesktopPath(desktop);
        if (desktop[0] && qv::JoinPath(path, {desktop, L"\\", product, L".lnk"}))
            qv::DeleteFileChecked(path);
    }
    for (const UninstallEntry& shortcut : shortcuts) qv::DeleteFileChecked(FieldText(shortcut.path));
}

int CQvUninstaller::ClearReg(const wchar_t* keyName) {
    if (!IsPlainKeyName(keyName)) return 1;
    std::wstring key = std::wstring(kUninstallKey) + keyName;
    // No view flag: the key lives where this 32-bit program's installer,
    // seeing the same view, wrote it.
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    return 1;
}

void CQvUninstaller::DeleteSelf() {
    // The last progress message can come before the key and the shortcuts
    // are gone; the process must not end under the worker.
    WaitWorkDone(INFINITE);
    qv::ScopedFile batch(::CreateFileW(qv::kClearBatchPath, GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!batch) return;
    std::wstring installDir;
    {
        qv::ScopedCriticalSection hold(listLock);
        installDir = FieldText(header.installDir);
    }
    std::string text = qv::PrepareClearBatch(installDir.c_str());
    DWORD written = 0;
    bool whole = ::WriteFile(batch.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                             nullptr) &&
                 written == text.size();
    batch.reset();
    if (!whole) {
        // Half a batch could stop after "taskkill" or in the middle of a path.
        ::DeleteFileW(qv::kClearBatchPath);
        return;
    }
    ::ShellExecuteW(nullptr, L"open", qv::kClearBatchPath, nullptr, L"c:\\", SW_HIDE);
    ::ExitProcess(0);
}
