#pragma once
// A test program that has finished its tests must end. One that hangs on
// its way out (a thread of the framework still running, a static
// destructor waiting for it) would otherwise sit until ctest kills it
// minutes later with nothing to show why.
#include <windows.h>

namespace qvtest {

// Once `ms` have passed without the process ending, prints every thread
// still alive (identifier, where it started, where it is now) to stderr and
// ends the process with kExitHung.
void ArmExitWatchdog(DWORD ms);

// Exit code of a program the watchdog ended.
constexpr UINT kExitHung = 124;

}  // namespace qvtest
