#include "app/QvUninstaller.h"

#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "app/ClearBatch.h"
#include "app/QvReport.h"
#include "app/UninstallSafety.h"
#include "base/QvScoped.h"
#include "base/QvUtil.h"
#include "ui/QvThread.h"

namespace {

constexpr wchar_t kDataFileName[] = L"qvUninstall.dat";
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
      deletedFiles(other.deletedFiles), header(other.header), entries(other.entries),
      shortcuts(other.shortcuts), workerRunning(0) {
    std::memcpy(ownFolder, other.ownFolder, sizeof(ownFolder));
}

CQvUninstaller& CQvUninstaller::operator=(const CQvUninstaller& other) {
    if (this == &other) return *this;
    notifyWnd = other.notifyWnd;
    closing = other.closing;
    totalFiles = other.totalFiles;
    deletedFiles = other.deletedFiles;
    header = other.header;
    entries = other.entries;
    shortcuts = other.shortcuts;
    std::memcpy(ownFolder, other.ownFolder, sizeof(ownFolder));
    return *this;  // this engine's own worker state is its own
}

void CQvUninstaller::StartUninstall(HWND hWnd, int inThread) {
    notifyWnd = hWnd;
    if (!inThread) {
        UninstallFunc();
        return;
    }
    // Two workers on one engine would share its counters and lists.
    if (::InterlockedCompareExchange(&workerRunning, 1, 0) != 0) return;
    HANDLE thread = CQvThread::Instance().StartThread(&CQvUninstaller::UninstallThread, this, 0);
    if (thread) {
        ::CloseHandle(thread);  // detached: completion is the final message
        return;
    }
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
    wchar_t dataPath[MAX_PATH];
    std::vector<UninstallEntry> listed;
    if (!qv::JoinPath(dataPath, {ownFolder, kDataFileName}) ||
        !ReadUninstallFile(dataPath, &header, &listed, &shortcuts)) {
        if (notifyWnd) ::PostMessageW(notifyWnd, WM_UNINSTALL_PROGRESS, 100, 0);
        return false;
    }
    bool ownFolderMode = header.installDir[0] != L'\0';
    entries.clear();
    if (!ownFolderMode) {
        deletedFiles = 0;
        totalFiles = 0;
        for (UninstallEntry& entry : listed) {
            if (!entry.isFile && !EndFolderPath(entry.path)) continue;
            if (!qv::IsDeletableTarget(entry.path)) continue;
            entries.push_back(entry);
            totalFiles += entry.isFile ? 1 : CountFiles(entry.path);
        }
    }

    wchar_t reportUrl[200] = {};
    GetReportUrl(reportUrl);
    DoReport(reportUrl, L"uninstall", FieldText(header.productName));

    if (ownFolderMode) {
        deletedFiles = 0;
        totalFiles = 0;
        // An uninstaller copied onto the desktop must not take the desktop.
        if (qv::IsDeletableTarget(ownFolder)) {
            totalFiles = CountFiles(ownFolder);
            DelDir(ownFolder);
        }
    } else {
        for (const UninstallEntry& entry : entries) {
            if (entry.isFile)
                ::DeleteFileW(entry.path);
            else
                DelDir(entry.path);
        }
    }
    ClearReg(FieldText(header.regKeyName));
    DelShortcut();
    return true;
}

int CQvUninstaller::CountFiles(const wchar_t* folder) {
    if (qv::IsDirectoryLink(folder)) return 0;
    int count = 0;
    qv::WalkFolder(folder, [&](const wchar_t* path, qv::ItemKind kind, bool dotName) {
        if (kind == qv::ItemKind::File)
            ++count;
        else if (kind == qv::ItemKind::Folder && !dotName)
            count += CountFiles(path);
    });
    return count;
}

bool CQvUninstaller::DelDir(const wchar_t* folder) {
    // The folder itself may be a link: remove the link, never its target.
    if (qv::IsDirectoryLink(folder)) {
        qv::RemoveDirectoryLink(folder);
        return true;
    }
    bool searched = qv::WalkFolder(folder, [&](const wchar_t* path, qv::ItemKind kind, bool dotName) {
        switch (kind) {
        case qv::ItemKind::File:
            ::DeleteFileW(path);  // a locked file stays, but counts: progress moves on
            ++deletedFiles;
            SendProgress();
            break;
        case qv::ItemKind::Folder:
            if (!dotName) DelDir(path);
            break;
        case qv::ItemKind::Link:
            if (!dotName) qv::RemoveDirectoryLink(path);
            break;
        }
    });
    if (!searched) return false;
    ::RemoveDirectoryW(folder);
    return true;
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
        if (programs[0] && qv::JoinPath(path, {programs, L"\\", menuFolder, L"\\"}) &&
            qv::IsDeletableTarget(path))
            DelDir(path);
    }
    const wchar_t* product = FieldText(header.productName);
    if (product[0]) {
        wchar_t desktop[MAX_PATH] = {};
        GetDesktopPath(desktop);
        if (desktop[0] && qv::JoinPath(path, {desktop, L"\\", product, L".lnk"}) &&
            qv::IsDeletableTarget(path))
            ::DeleteFileW(path);
    }
    for (const UninstallEntry& shortcut : shortcuts) {
        const wchar_t* file = FieldText(shortcut.path);
        if (qv::IsDeletableTarget(file)) ::DeleteFileW(file);
    }
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

    wchar_t program[MAX_PATH] = {};
    DWORD len = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (len == 0 || len >= MAX_PATH) program[0] = L'\0';  // a cut path names another file

    const wchar_t* installDir = FieldText(header.installDir);
    bool removeDir = false;
    wchar_t folder[MAX_PATH];
    if (installDir[0] && ::PathFileExistsW(installDir) && qv::IsQuotableInBatch(installDir) &&
        qv::IsDeletableTarget(installDir) && qv::JoinPath(folder, {installDir}) &&
        EndFolderPath(folder)) {
        // cmd's "rd /S" follows folder links into their targets: take every
        // link out first, and leave the line out if one will not go.
        if (qv::IsDirectoryLink(installDir))
            qv::RemoveDirectoryLink(installDir);
        else
            removeDir = qv::RemoveLinksBelow(folder);
    }
    std::string text = qv::ComposeClearBatch(program, removeDir ? installDir : nullptr);
    DWORD written = 0;
    ::WriteFile(batch.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    batch.reset();

    ::ShellExecuteW(nullptr, L"open", qv::kClearBatchPath, nullptr, L"c:\\", SW_HIDE);
    ::ExitProcess(0);
}
