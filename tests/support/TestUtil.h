#pragma once
// Helpers shared by the test programs.
#include <windows.h>

#include <functional>
#include <string>

namespace qvtest {

// A time limit `ms` multiplied by the whole number in QV_TIME_SCALE (1 when
// unset), the setting the scripts and ctest scale their limits by: under an
// emulated 32-bit loader every process runs slower.
DWORD Scaled(DWORD ms);

// Dispatches the calling thread's messages for about `ms` milliseconds.
void PumpMessages(DWORD ms);
// Dispatches the messages already queued for the calling thread.
void DrainMessages();
// Dispatches messages until `done` is true or Scaled(ms) pass; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD ms);

// Dispatches messages until a shown window has nothing left to paint, or
// Scaled(ms) pass; returns whether it got there.
bool WaitPainted(HWND wnd, DWORD ms = 10000);

// The test program's own path.
std::wstring SelfPath();

// Runs a command line (and, when given, that program) and waits up to
// Scaled(timeoutMs); returns the exit code, or -1 when it did not end in
// time (the process is then killed).
int RunProcess(const std::wstring& cmdline, DWORD timeoutMs, const wchar_t* application = nullptr);

// Child scenarios: a test program started with "--qv-child=NAME" runs the
// scenario registered under NAME instead of the tests and exits with its
// result. RunChild starts this program that way.
using ChildFn = int (*)();
bool RegisterChild(const char* name, ChildFn fn);
int RunChild(const char* name, DWORD timeoutMs = 60000);
// Called by main: runs a scenario when asked to; returns false otherwise.
bool MaybeRunChild(int argc, char** argv, int* exitCode);

#define QV_CHILD(name)                                                 \
    static int QvChild_##name();                                       \
    static const bool qvChildReg_##name =                              \
        ::qvtest::RegisterChild(#name, &QvChild_##name);               \
    static int QvChild_##name()

// Skips a test for a capability this platform lacks, by its name in
// docs/testing.md ("Skips"): the run's summary fails any other skip, for a
// set-up that failed where the host can do it must fail the test.
#define QV_SKIP_LACKING(name) GTEST_SKIP() << "platform lacks " name ": "

// A fresh folder under %TEMP%, removed with everything in it at the end.
class TempDir {
public:
    explicit TempDir(const wchar_t* tag = L"qvtest");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Path with a trailing backslash.
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

private:
    std::wstring path_;
};

// Removes a folder tree (files made read-only included).
void RemoveTree(const std::wstring& dir);
// Writes bytes to a file; true on success.
bool WriteFileBytes(const std::wstring& path, const void* data, size_t size);
bool FileExists(const std::wstring& path);
// Creates a folder with the security descriptor written as SDDL, e.g.
// "D:(A;OICI;FA;;;WD)" (everyone may do anything); true on success.
bool CreateFolderWithSddl(const std::wstring& path, const wchar_t* sddl);
// Replaces the owner (when the SDDL names one) and the DACL of an existing
// file or folder, protected from inheritance; true on success.
bool SetSddl(const std::wstring& path, const wchar_t* sddl);

// Top-down copy of a 32-bit DIB's pixels (0xAARRGGBB).
struct Pixels {
    int width = 0, height = 0;
    std::basic_string<DWORD> px;
    DWORD at(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
};
// Reads back a DC's selected bitmap or a window's client area.
Pixels ReadBitmap(HBITMAP bitmap);
Pixels ReadWindow(HWND wnd);

}  // namespace qvtest
