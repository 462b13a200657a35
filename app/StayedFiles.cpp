#include "app/StayedFiles.h"

#include <restartmanager.h>

#include <algorithm>

#include "app/ClearBatch.h"
#include "base/QvFinalPath.h"
#include "base/QvLog.h"
#include "base/QvSystemDll.h"
#include "base/QvTrust.h"

namespace qv {

namespace {

std::wstring ParentFolder(const std::wstring& path) {
    size_t cut = path.find_last_of(L'\\');
    return cut == std::wstring::npos || cut < 3 ? std::wstring() : path.substr(0, cut);
}

bool IsBelow(const std::wstring& path, const std::wstring& folder) {
    return path.size() > folder.size() + 1 && path[folder.size()] == L'\\' &&
           SamePathText(std::wstring_view(path).substr(0, folder.size()), folder);
}

bool RemoveAtRestart(const std::wstring& path) {
    if (::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return true;
    CQvLog::Instance().WriteLog2(L"uninstall: %s not scheduled for removal at restart (error %lu)",
                                 path.c_str(), ::GetLastError());
    return false;
}

// The Restart Manager's names for the programs holding any of paths open.
// It lives outside the known DLLs, so it is loaded from the system folder,
// and only when something stayed.
std::vector<std::wstring> HoldingPrograms(const std::vector<std::wstring>& paths) {
    auto start = SystemFn<decltype(&::RmStartSession)>(L"rstrtmgr.dll", "RmStartSession");
    auto add = SystemFn<decltype(&::RmRegisterResources)>(L"rstrtmgr.dll", "RmRegisterResources");
    auto list = SystemFn<decltype(&::RmGetList)>(L"rstrtmgr.dll", "RmGetList");
    auto end = SystemFn<decltype(&::RmEndSession)>(L"rstrtmgr.dll", "RmEndSession");
    std::vector<std::wstring> names;
    if (!start || !add || !list || !end) return names;
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (start(&session, 0, key) != ERROR_SUCCESS) return names;
    std::vector<LPCWSTR> files;
    for (const std::wstring& p : paths) files.push_back(p.c_str());
    UINT needed = 0, count = 0;
    DWORD reasons = 0;
    std::vector<RM_PROCESS_INFO> info;
    if (add(session, static_cast<UINT>(files.size()), files.data(), 0, nullptr, 0, nullptr) ==
        ERROR_SUCCESS) {
        // The list can grow between the two calls: try a few times.
        for (int tries = 0; tries < 3; ++tries) {
            count = static_cast<UINT>(info.size());
            DWORD rc = list(session, &needed, &count, info.empty() ? nullptr : info.data(), &reasons);
            if (rc == ERROR_SUCCESS) break;
            if (rc != ERROR_MORE_DATA) {
                count = 0;
                break;
            }
            info.resize(needed);
            count = 0;
        }
    }
    for (UINT i = 0; i < count && i < info.size(); ++i) {
        std::wstring name = info[i].strAppName;
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    end(session);
    return names;
}

}  // namespace

StayedFiles::StayedFiles() {
    std::wstring program = RunningProgramPath();
    ScopedFile self(::CreateFileW(program.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (self) ownProgram_ = FinalPath(self.get());
}

void StayedFiles::Add(HANDLE folder, std::wstring_view name) {
    std::wstring at = FinalPath(folder);
    if (at.empty()) return;
    at += L'\\';
    at += name;
    if (!ownProgram_.empty() && SamePathText(at, ownProgram_)) return;
    paths_.push_back(std::move(at));
}

void StayedFiles::ScheduleBelow(HANDLE root) {
    const size_t first = pending_;
    pending_ = paths_.size();
    if (first == paths_.size()) return;
    const std::wstring top = FinalPath(root);
    std::wstring why;
    if (top.empty() || !trust::FolderTrusted(top, &why)) {
        CQvLog::Instance().WriteLog2(L"uninstall: nothing scheduled for restart in %s: %s",
                                     top.c_str(), why.c_str());
        return;
    }
    std::vector<std::wstring> folders;
    for (size_t i = first; i < paths_.size(); ++i) {
        if (!IsBelow(paths_[i], top)) continue;
        if (RemoveAtRestart(paths_[i])) ++scheduled_;
        for (std::wstring f = ParentFolder(paths_[i]); IsBelow(f, top); f = ParentFolder(f))
            if (std::find(folders.begin(), folders.end(), f) == folders.end()) folders.push_back(f);
    }
    // Deepest first: a folder goes at restart only once it is empty.
    std::sort(folders.begin(), folders.end(),
              [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    folders.push_back(top);
    for (const std::wstring& f : folders) RemoveAtRestart(f);
}

void StayedFiles::Clear() {
    paths_.clear();
    pending_ = 0;
    scheduled_ = 0;
}

std::wstring DescribeStayed(const std::vector<std::wstring>& paths, size_t most) {
    std::wstring text;
    for (size_t i = 0; i < paths.size() && i < most; ++i) {
        size_t cut = paths[i].find_last_of(L'\\');
        text += cut == std::wstring::npos ? paths[i] : paths[i].substr(cut + 1);
        text += L'\n';
    }
    if (paths.size() > most) text += L"……\n";
    std::vector<std::wstring> programs = HoldingPrograms(paths);
    if (!programs.empty()) {
        text += L"正在使用它们的程序：";
        for (size_t i = 0; i < programs.size(); ++i) {
            if (i) text += L"、";
            text += programs[i];
        }
        text += L'\n';
    }
    return text;
}

}  // namespace qv
