// WOW64 detection and the file-system redirection switch. The entry points
// are looked up at run time: systems before XP SP2 do not have them.
#include "base/QvUtil.h"

namespace {

template <typename Fn>
Fn Kernel32Proc(const char* name) {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    FARPROC proc = kernel ? ::GetProcAddress(kernel, name) : nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

}  // namespace

int isWow64() {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto fn = Kernel32Proc<IsWow64ProcessFn>("IsWow64Process");
    BOOL wow = FALSE;
    if (!fn || !fn(::GetCurrentProcess(), &wow)) return 0;
    return wow ? 1 : 0;
}

void DisableFsRedirection(void** old) {
    if (!isWow64()) return;
    using Fn = BOOL(WINAPI*)(PVOID*);
    if (auto fn = Kernel32Proc<Fn>("Wow64DisableWow64FsRedirection")) fn(old);
}

void RevertFsRedirection(void** old) {
    if (!isWow64()) return;
    using Fn = BOOL(WINAPI*)(PVOID);
    // Wow64RevertWow64FsRedirection takes the saved value itself.
    if (auto fn = Kernel32Proc<Fn>("Wow64RevertWow64FsRedirection")) {
        fn(old ? *old : nullptr);
    }
}
