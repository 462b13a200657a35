#pragma once
// Diagnostic log: time-stamped lines appended to a daily file beside the
// program, written only while HKLM "SOFTWARE\Quorvel" "debug" is "1" (or
// the program forces it on; a product names its own key and file prefix),
// plus an always-on channel into a named
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
    // The key under HKEY_LOCAL_MACHINE whose string value "debug" = "1"
    // switches logging on, "SOFTWARE\Quorvel" unless set. Null or "" goes
    // back to it; a key of 128 units or more is refused (false, unchanged).
    bool SetSwitchKey(const wchar_t* key);
    // The start of the daily file's name, "QV-" unless set: the file is
    // "<prefix><year>-<month>-<day>.log" in the program's folder. Null or ""
    // goes back to "QV-"; a prefix of 16 units or more, or one holding a
    // path separator or a colon, is refused (false, unchanged): the log
    // stays a file of the program's own folder.
    bool SetFilePrefix(const wchar_t* prefix);
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
    SRWLOCK namesLock_ = SRWLOCK_INIT;  // set on one thread, read on any
    wchar_t switchKey_[128] = {};
    wchar_t filePrefix_[16] = {};
    wchar_t memName_[MAX_PATH] = {};
    qv::ScopedHandle mem_;
    int offset_ = 0;  // in UTF-16 units
    int memSize_ = 0;  // in bytes, as given to SetMemName
};

QV_API void WriteLog(const wchar_t* message);
