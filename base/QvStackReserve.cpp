#include "base/QvStackReserve.h"

#include <cstdint>

namespace {

// What an overflowing thread keeps for the exception's dispatch and the
// filter. Without it the system's default of a page or two is used up
// before the filter runs, and the process just vanishes.
constexpr ULONG kStackGuarantee = 64 * 1024;

}  // namespace

void KeepStackForCrashHandler() {
    ULONG size = kStackGuarantee;
    if (!::SetThreadStackGuarantee(&size)) return;
    // Windows commits a stack as it grows, with its guard pages moving down
    // ahead of it; the guarantee alone keeps the reserve. Wine commits the
    // whole stack at once with a single guard page at its very bottom, so
    // the overflow would strike with one page left: a guard page where the
    // reserve begins makes it strike there. A committed page that far down
    // is found only on such a stack.
    MEMORY_BASIC_INFORMATION stack{};
    if (!::VirtualQuery(&stack, &stack, sizeof(stack))) return;
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    char* reserveTop = static_cast<char*>(stack.AllocationBase) + 2 * system.dwPageSize +
                       kStackGuarantee;
    MEMORY_BASIC_INFORMATION page{};
    if (!::VirtualQuery(reserveTop, &page, sizeof(page)) || page.State != MEM_COMMIT ||
        (page.Protect & PAGE_GUARD) || page.AllocationBase != stack.AllocationBase ||
        reinterpret_cast<std::uintptr_t>(reserveTop) + kStackGuarantee >=
            reinterpret_cast<std::uintptr_t>(&stack))
        return;  // not such a stack, or one too small to spare the reserve
    DWORD previous = 0;
    ::VirtualProtect(reserveTop, system.dwPageSize, PAGE_READWRITE | PAGE_GUARD, &previous);
}
