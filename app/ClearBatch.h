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

// How many times the batch tries to delete the program, about a second
// apart, before it goes on without.
inline constexpr int kClearBatchTries = 30;

// The batch text, lines separated by CR LF, no line end after the last:
//   @ echo off
//   set qvn=0
//   :qvwait
//   del "<program>"
//   if exist "<program>" if %qvn% lss 30 (set /a qvn+=1 & "<system folder>\ping.exe" -n 2 127.0.0.1 >nul & goto qvwait)
//   rd "<folder>"                  (for each of folders, in order)
//   del %0 & rd "%~dp0"            (the batch and its own folder)
// The program is deleted once its process has ended, waited for (bounded)
// by deleting again about once a second; no process is ended by its ID.
// It is written in the ANSI code page and cmd reads it in the OEM code
// page, so a path goes in only when its bytes read back as exactly the same
// text in both; otherwise its short form if that is plain ASCII, otherwise
// its lines are left out (the program's four, the wait without a system
// folder, and for a folder, the folders after it, which hold it). The
// checks that keep a line safe (no quote, CR or LF; no "%" or "!" in an rd
// line; a plain absolute path that may be deleted) run on the text as
// written. A percent sign in the program path is doubled so that cmd does
// not take it for a variable. No line removes a folder with what is in it:
// "rd" without /S removes only an empty folder.
std::string ComposeClearBatch(const wchar_t* program, const std::vector<std::wstring>& folders,
                              const wchar_t* systemFolder, UINT ansiCodePage = CP_THREAD_ACP,
                              UINT oemCodePage = CP_OEMCP);

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
// the system's Windows temporary folder, never following a link, and
// starts it hidden with cmd from the system folder. Elevated, only there,
// and only when no one but administrators can remove or rename what is in
// that temporary folder; not elevated, in the user's temporary folder when
// the system's cannot be written. False when it could not be written or
// started; nothing is left behind then, and nothing is left registered for
// the next restart.
bool StartClearBatch(const wchar_t* installDir);

namespace seam {
// Test rigs: called with the batch's path and text just before it starts.
void SetClearBatchObserver(std::function<void(const std::wstring&, const std::string&)> observer);
// Test rigs: the folder that stands in for the system's temporary folder
// (empty: the real one).
void SetClearBatchTempBase(const std::wstring& base);
}  // namespace seam

}  // namespace qv
