#pragma once
// What the crash handler does about one crash, on a thread with a stack of
// its own: the report, the minidump and the notice.
#include <windows.h>

#include "base/QvScoped.h"

struct tagCrashInfo {
    EXCEPTION_POINTERS* exception;
    DWORD threadId;  // the faulting thread
    // The faulting thread serves messages sent to its windows while it
    // waits; otherwise the notice must not wait on any of them.
    bool threadServesSends;
};

// Sends the crash report (nothing without a type), writes the dump and
// shows the notice until it closes.
void HandleCrash(const tagCrashInfo& crash, const wchar_t* reportType);

// Writes the minidump beside the program; false (and no file) when it
// cannot be written.
bool WriteCrashDump(const tagCrashInfo& crash);

// Creates the dump file at path: never one that exists, never through a
// link. Invalid when it cannot.
qv::ScopedFile CreateDumpFile(const wchar_t* path);
