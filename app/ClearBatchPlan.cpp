// What the self-delete batch may remove, decided just before it is written.
#include <shlwapi.h>

#include <string>

#include "app/ClearBatch.h"
#include "app/UninstallSafety.h"
#include "app/UninstallWalk.h"
#include "base/QvScoped.h"

namespace qv {

namespace {

// The running program's full path; empty when it does not fit a batch line
// that cmd handles (a cut path would name another file).
std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = ::GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::wstring();
    path.resize(n);
    return path;
}

// Where a folder really is: the final path of the folder itself; empty
// when it cannot be opened.
std::wstring FinalFolderPath(const std::wstring& folder) {
    ScopedFile handle(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle ? FinalPath(handle.get()) : std::wstring();
}

// True when the folder holding the program is folder itself or lies below
// it: the batch removes the product's own folder, never a neighbour that a
// data file happens to name.
bool HoldsProgram(const std::wstring& folder, const std::wstring& program) {
    size_t slash = program.rfind(L'\\');
    if (slash == std::wstring::npos) return false;
    std::wstring outer = FinalFolderPath(folder);
    std::wstring inner = FinalFolderPath(program.substr(0, slash + 1));
    if (outer.empty() || inner.empty()) return false;
    if (SamePathText(outer, inner)) return true;
    return inner.size() > outer.size() + 1 && inner[outer.size()] == L'\\' &&
           SamePathText(outer, inner.substr(0, outer.size()));
}

// True when "rd /S /Q" may be given installDir.
bool MayRemoveFolder(const wchar_t* installDir, const std::wstring& program) {
    if (!installDir || !installDir[0] || !::PathFileExistsW(installDir) ||
        !IsQuotableInBatch(installDir) || !IsDeletableTarget(installDir) || program.empty())
        return false;
    // A folder that is itself a link: remove the link, never rd through it.
    if (IsDirectoryLink(installDir)) {
        RemoveDirectoryLink(installDir);
        return false;
    }
    if (!HoldsProgram(installDir, program)) return false;
    // cmd's "rd /S" follows folder links into their targets: take every
    // link out first, and leave the line out unless the whole tree was seen.
    std::wstring folder = installDir;
    if (folder.back() != L'\\') folder += L'\\';
    return RemoveLinksBelow(folder.c_str());
}

}  // namespace

std::string PrepareClearBatch(const wchar_t* installDir) {
    std::wstring program = ProgramPath();
    bool removeDir = MayRemoveFolder(installDir, program);
    return ComposeClearBatch(program.c_str(), removeDir ? installDir : nullptr);
}

}  // namespace qv
