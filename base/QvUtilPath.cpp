// Where the program and the shell's special folders are.
#include "base/QvUtil.h"

#include <shlobj.h>

#include <cwchar>
#include <string>

namespace {

void ModuleFolder(HMODULE module, wchar_t* out) {
    out[0] = L'\0';
    // Read the whole path: a path cut to the buffer ends inside a folder's
    // name, and the folder before the cut is another (a parent) folder.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return;
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return;
        path.resize(path.size() * 2);
    }
    size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return;
    // A folder that does not fit the caller's MAX_PATH buffer is not named
    // at all: an empty result is safe, a cut one is not.
    if (slash + 1 >= MAX_PATH) return;
    std::wmemcpy(out, path.data(), slash + 1);
    out[slash + 1] = L'\0';
}

int SpecialFolder(int csidl, wchar_t* out) {
    out[0] = L'\0';
    return ::SHGetSpecialFolderPathW(nullptr, out, csidl, FALSE) ? 1 : 0;
}

}  // namespace

void GetCurPath(wchar_t* out) {
    ModuleFolder(nullptr, out);
}

void GetCurPathEx(const wchar_t* module, wchar_t* out) {
    HMODULE handle = nullptr;
    if (module) {
        handle = ::GetModuleHandleW(module);
        // Without this check an unloaded module would silently name the
        // program's own folder.
        if (!handle) {
            out[0] = L'\0';
            return;
        }
    }
    ModuleFolder(handle, out);
}

int GetProgramsPath(wchar_t* out) {
    return SpecialFolder(CSIDL_PROGRAMS, out);
}

int GetDesktopPath(wchar_t* out) {
    return SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY, out);
}

int GetProgramFilePath(wchar_t* out) {
    return SpecialFolder(CSIDL_PROGRAM_FILES, out);
}

int GetStartMenuPath(wchar_t* out) {
    return SpecialFolder(CSIDL_STARTMENU, out);
}

int GetQuickLaunchPath(wchar_t* out, int pinned) {
    const wchar_t* tail = pinned
        ? L"\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar"
        : L"\\Microsoft\\Internet Explorer\\Quick Launch";
    wchar_t appData[MAX_PATH] = {};
    if (!SpecialFolder(CSIDL_APPDATA, appData) ||
        std::wcslen(appData) + std::wcslen(tail) >= MAX_PATH) {
        // A cut path would name some other folder: give none.
        out[0] = L'\0';
        return 0;
    }
    std::wcscpy(out, appData);
    std::wcscat(out, tail);
    return 1;
}

void ExtractPath(wchar_t* path) {
    if (!path) return;
    wchar_t* slash = std::wcsrchr(path, L'\\');
    if (!slash || slash == path) return;
    slash[1] = L'\0';
    wchar_t* to = path;
    for (const wchar_t* from = path; *from; ++from) {
        if (*from != L'"') *to++ = *from;
    }
    *to = L'\0';
}
