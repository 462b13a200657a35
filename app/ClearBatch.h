#pragma once
// The batch that removes the uninstaller once its process has ended: a
// running program cannot delete its own file, so cmd does it afterwards.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace qv {

// The name of the batch in the private folder made for it.
inline constexpr wchar_t kClearBatchName[] = L"clear.bat";

// The batch text, lines separated by CR LF, no line end after the last:
//   @ echo off
//   "<system folder>\taskkill.exe" /f /pid <processId>
//   del "<program>"
//   rd "<folder>"                  (for each of folders, in order)
//   del %0 & rd "%~dp0"            (the batch and its own folder)
// It is written in the ANSI code page and cmd reads it in the OEM code
// page, so a path goes in only when its bytes read back as exactly the same
// text in both; otherwise its short form if that is plain ASCII, otherwise
// its line is left out (and, for a folder, the folders after it, which
// hold it). The checks that keep a line safe (no quote, CR or LF; no "%" or
// "!" in an rd line; a plain absolute path that may be deleted) run on the
// text as written. A percent sign in the program path is doubled so that
// cmd does not take it for a variable. No line removes a folder with what
// is in it: "rd" without /S removes only an empty folder.
std::string ComposeClearBatch(const wchar_t* program, const std::vector<std::wstring>& folders,
                              DWORD processId, const wchar_t* systemFolder,
                              UINT ansiCodePage = CP_THREAD_ACP, UINT oemCodePage = CP_OEMCP);

// True when text can stand between double quotes on a cmd line and still
// mean only itself: no double quote, percent sign, exclamation mark (which
// delayed expansion reads), or control character.
bool IsQuotableInBatch(const wchar_t* text);

// The folders the batch may remove, innermost first: the running program's
// folder and each folder above it up to installDir, only when installDir
// exists, holds the program, may be deleted, and neither it nor the
// program's folder has a link, junction or mount point anywhere on its
// path. Empty otherwise; nothing is changed on disk either way.
std::vector<std::wstring> ClearBatchFolders(const wchar_t* installDir, const std::wstring& program);

// The running program's full path; empty when it does not fit a batch line
// (a cut path would name another file).
std::wstring RunningProgramPath();

// Writes the batch for installDir into a folder made for it alone under
// the Windows temporary folder (the user's when that cannot be written),
// never following a link, and starts it hidden with cmd from the system
// folder. False when it could not be written or started; nothing is left
// behind then.
bool StartClearBatch(const wchar_t* installDir);

namespace seam {
// Test rigs: called with the batch's path and text just before it starts.
void SetClearBatchObserver(std::function<void(const std::wstring&, const std::string&)> observer);
}  // namespace seam

}  // namespace qv
