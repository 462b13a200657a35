#pragma once
// The crash handler: an unhandled exception anywhere in the process sends
// one crash report, writes a minidump "<program path>_<tick>.dmp" beside
// the program and shows a notice that closes by itself; then the process
// ends.
#include <windows.h>

#include <string>

#include "base/QvExport.h"
#include "base/QvStackReserve.h"

class QV_API CqvDump {
public:
    // Installs ExceptionFilter as the process's unhandled-exception filter
    // and becomes the instance it reads.
    CqvDump();
    // The installed instance puts back the filter it replaced; copies, which
    // never installed anything, leave the filter alone.
    ~CqvDump();
    CqvDump(const CqvDump& other);
    CqvDump& operator=(const CqvDump& other);

    void Install(const wchar_t* appName, const wchar_t* reportType);

    // Handles the first unhandled exception of the process and answers
    // EXCEPTION_EXECUTE_HANDLER, which ends it. Threads that fault while
    // that one is handled wait for the end; the faulting code is never
    // resumed.
    static LONG WINAPI ExceptionFilter(EXCEPTION_POINTERS* info);

    LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
    std::wstring appName;     // kept for the product's own use
    std::wstring reportType;  // `type` of the crash report

private:
    CqvDump* previousInstance_ = nullptr;
};

// Creates the process's crash handler on first use and stores the names.
QV_API void InstallDump(const wchar_t* appName, const wchar_t* reportType);
