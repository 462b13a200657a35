#include "base/QvUtil.h"

#include <cwchar>

namespace {

void ModuleFolder(HMODULE module, wchar_t* out) {
    wchar_t path[MAX_PATH] = {};
    // A path longer than the buffer comes back cut; the buffer is always
    // terminated, so what we copy out never exceeds MAX_PATH units.
    ::GetModuleFileNameW(module, path, MAX_PATH);
    path[MAX_PATH - 1] = L'\0';
    if (wchar_t* slash = std::wcsrchr(path, L'\\')) slash[1] = L'\0';
    std::wcscpy(out, path);
}

}  // namespace

void GetCurPath(wchar_t* out) {
    ModuleFolder(nullptr, out);
}

void GetCurPathEx(const wchar_t* module, wchar_t* out) {
    ModuleFolder(module ? ::GetModuleHandleW(module) : nullptr, out);
}
