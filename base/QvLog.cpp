#include "base/QvLog.h"

#include <atomic>
#include <iterator>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

#include "base/QvFinalPath.h"
#include "base/QvLogSeam.h"
#include "base/QvNarrow.h"
#include "base/QvReg.h"
#include "base/QvUtil.h"

namespace {

std::atomic<qv::seam::LocalTimeFn> g_clock{nullptr};

// The uninstaller's own names; a product sets its own.
constexpr wchar_t kDefaultSwitchKey[] = L"SOFTWARE\\Quorvel";
constexpr wchar_t kDefaultFilePrefix[] = L"QV-";

SYSTEMTIME Now() {
    SYSTEMTIME t{};
    if (qv::seam::LocalTimeFn clock = g_clock.load())
        clock(&t);
    else
        ::GetLocalTime(&t);
    return t;
}

// "%d-%02d-%02d %02d:%02d:%02d\t%s\r\n"
std::wstring FormatLine(const SYSTEMTIME& t, const wchar_t* message) {
    wchar_t stamp[64];
    std::swprintf(stamp, 64, L"%d-%02d-%02d %02d:%02d:%02d\t", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    std::wstring line(stamp);
    line += message ? message : L"";
    line += L"\r\n";
    return line;
}

// printf-style message cut to 1023 units.
void FormatMessage1023(wchar_t (&out)[1024], const wchar_t* format, va_list args) {
    out[0] = L'\0';
    if (!format) return;
    // msvcrt's _vsnwprintf: %s takes a wide string, as every caller expects.
    _vsnwprintf(out, 1023, format, args);
    out[1023] = L'\0';
}

}  // namespace

void qv::seam::SetLogClock(LocalTimeFn clock) {
    g_clock.store(clock);
}

CQvLog& CQvLog::Instance() {
    static CQvLog _obj;
    return _obj;
}

CQvLog::CQvLog() {
    SetSwitchKey(nullptr);
    SetFilePrefix(nullptr);
}
CQvLog::~CQvLog() = default;

void CQvLog::ForceLog(bool force) {
    force_ = force;
}

bool CQvLog::SetSwitchKey(const wchar_t* key) {
    if (key && std::wcslen(key) >= std::size(switchKey_)) return false;
    ::AcquireSRWLockExclusive(&namesLock_);
    std::wcscpy(switchKey_, key && key[0] ? key : kDefaultSwitchKey);
    ::ReleaseSRWLockExclusive(&namesLock_);
    return true;
}

bool CQvLog::SetFilePrefix(const wchar_t* prefix) {
    if (prefix && (std::wcslen(prefix) >= std::size(filePrefix_) || std::wcspbrk(prefix, L"\\/:")))
        return false;
    ::AcquireSRWLockExclusive(&namesLock_);
    std::wcscpy(filePrefix_, prefix && prefix[0] ? prefix : kDefaultFilePrefix);
    ::ReleaseSRWLockExclusive(&namesLock_);
    return true;
}

void CQvLog::SetMemName(const wchar_t* name, int size) {
    if (!name || std::wcslen(name) >= MAX_PATH || size < 0) return;
    mem_.reset();  // a second block replaces the first one
    std::wcscpy(memName_, name);
    memSize_ = size;
    mem_.reset(CreateShareMem(name, static_cast<DWORD>(size)));
}

bool CQvLog::isLog() {
    if (force_) return true;
    // Read afresh every time so that support staff can switch logging on
    // while the program runs.
    wchar_t value[300] = {};
    wchar_t key[std::size(switchKey_)];
    ::AcquireSRWLockShared(&namesLock_);
    std::wcscpy(key, switchKey_);
    ::ReleaseSRWLockShared(&namesLock_);
    wchar_t name[] = L"debug";
    CQvReg& reg = CQvReg::Instance();
    if (!reg.GetRegInfo(HKEY_LOCAL_MACHINE, key, name, 0, value) && isWow64())
        reg.GetRegInfo(HKEY_LOCAL_MACHINE, key, name, 1, value);
    return std::wcscmp(value, L"1") == 0;
}

void CQvLog::GetLogFileName(wchar_t (&path)[MAX_PATH + 32]) {
    wchar_t folder[MAX_PATH] = {};
    GetCurPath(folder);
    SYSTEMTIME t = Now();
    ::AcquireSRWLockShared(&namesLock_);
    std::swprintf(path, std::size(path), L"%ls%ls%d-%d-%d.log", folder, filePrefix_, t.wYear,
                  t.wMonth, t.wDay);
    ::ReleaseSRWLockShared(&namesLock_);
}

void CQvLog::AppendLine(const wchar_t* message) {
    wchar_t path[MAX_PATH + 32];
    GetLogFileName(path);
    // Append-only access: concurrent writers each land whole at the end.
    // The program's folder may be one a standard user can write, and the
    // program may run elevated: a link or a second name planted under the
    // log's name must not make it append to another file.
    qv::ScopedFile file(::CreateFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || !qv::IsPlainFileAt(file.get(), path)) return;
    std::string ansi = qv::Narrow(FormatLine(Now(), message), CP_THREAD_ACP);
    if (ansi.empty()) return;
    DWORD written = 0;
    ::WriteFile(file.get(), ansi.data(), static_cast<DWORD>(ansi.size()), &written, nullptr);
}

void CQvLog::WriteLog(const wchar_t* message) {
    if (!isLog()) return;
    AppendLine(message);
}

void CQvLog::WriteLog2(const wchar_t* format, ...) {
    if (!isLog()) return;
    wchar_t message[1024];
    va_list args;
    va_start(args, format);
    FormatMessage1023(message, format, args);
    va_end(args);
    AppendLine(message);
}

void CQvLog::WriteLog3(const wchar_t* format, ...) {
    wchar_t message[1024];
    va_list args;
    va_start(args, format);
    FormatMessage1023(message, format, args);
    va_end(args);
    std::wstring line = FormatLine(Now(), message);
    int length = static_cast<int>(line.size());

    // Keep the line, with its terminator, inside the block: cut it to the
    // room left after the write offset, and drop it when none is left.
    int room = memSize_ / static_cast<int>(sizeof(wchar_t)) - offset_;
    if (memName_[0] && room > 0) {
        if (length > room - 1) line.resize(static_cast<size_t>(room - 1));
        WriteShareMem(memName_, line.c_str(), offset_);
    }
    offset_ += length;
}

void WriteLog(const wchar_t* message) {
    CQvLog::Instance().WriteLog(message);
}
