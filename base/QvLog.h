#pragma once
// Diagnostic log: time-stamped lines appended to a daily file beside the
// program, written only while HKLM "SOFTWARE\Quorvel" "debug" is "1" (or
// the program forces it on), plus an always-on channel into a named
// shared-memory block that another process can read live.
#include <windows.h>
#include "base/QvExport.h"
#include "base/QvScoped.h"

class QV_API CQvLog {
public:
    static CQvLog& Instance();

    CQvLog();
    ~CQvLog();
    // Owns a file-mapping handle; a copy would close it twice.
    CQvLog(const CQvLog&) = delete;
    CQvLog& operator=(const CQvLog&) = delete;

    // true: log whatever the registry says; false: the registry decides.
    void ForceLog(bool force);
    // Creates (or opens) the named shared-memory block of `size` bytes that
    // WriteLog3 writes into; a second call replaces the first block.
    void SetMemName(const wchar_t* name, int size);
    void WriteLog(const wchar_t* message);
    void WriteLog2(const wchar_t* format, ...);
    // Writes into the shared-memory block, whatever the switch says.
    void WriteLog3(const wchar_t* format, ...);

private:
    bool isLog();
    void GetLogFileName(wchar_t (&path)[MAX_PATH + 32]);
    void AppendLine(const wchar_t* message);

    bool force_ = false;
    wchar_t memName_[MAX_PATH] = {};
    qv::ScopedHandle mem_;
    int offset_ = 0;  // in UTF-16 units
    int memSize_ = 0;  // in bytes, as given to SetMemName
};

QV_API void WriteLog(const wchar_t* message);
