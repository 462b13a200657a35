// What the self-delete batch may remove, decided just before it is written.
#include <string>
#include <vector>

#include "app/ClearBatch.h"
#include "app/UninstallSafety.h"
#include "base/QvScoped.h"

namespace qv {

namespace {

// The long form of folder, only when it is a folder and the object opened
// there is the folder so named: no link, junction or mount point on the
// way, itself included (opened without following one).
std::wstring PlainFolder(const std::wstring& folder) {
    ScopedFile handle(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle || !::GetFileInformationByHandle(handle.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
            FILE_ATTRIBUTE_DIRECTORY ||
        !OpensAsNamed(handle.get(), folder.c_str()))
        return std::wstring();
    return FinalPath(handle.get());
}

}  // namespace

std::wstring RunningProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = ::GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::wstring();
    path.resize(n);
    return path;
}

std::vector<std::wstring> ClearBatchFolders(const wchar_t* installDir, const std::wstring& program) {
    std::vector<std::wstring> folders;
    size_t slash = program.rfind(L'\\');
    if (!installDir || !installDir[0] || slash == std::wstring::npos ||
        !IsDeletableTarget(installDir))
        return folders;
    // Checked before anything is decided, and nothing is removed here: a
    // link named as installDir stays, whatever it points to.
    std::wstring outer = PlainFolder(TidyPath(installDir));
    std::wstring inner = PlainFolder(program.substr(0, slash));
    if (outer.empty() || inner.empty()) return folders;
    bool holds = SamePathText(outer, inner) ||
                 (inner.size() > outer.size() + 1 && inner[outer.size()] == L'\\' &&
                  SamePathText(outer, inner.substr(0, outer.size())));
    if (!holds) return folders;
    // The program's folder, then each folder above it up to installDir.
    for (std::wstring folder = inner;; folder = folder.substr(0, folder.rfind(L'\\'))) {
        if (!IsDeletableTarget(folder.c_str())) break;
        folders.push_back(folder);
        if (folder.size() <= outer.size()) break;
    }
    return folders;
}

}  // namespace qv
