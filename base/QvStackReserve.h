#pragma once
// Stack kept in reserve for the crash handler on each thread, so that a
// stack overflow there still reaches the process's unhandled-exception
// filter. Below the toolkit: the thread service calls it for every thread
// it starts, the crash handler for the thread that installs it.
#include <windows.h>

void KeepStackForCrashHandler();
