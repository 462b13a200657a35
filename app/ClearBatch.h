#pragma once
// The batch that removes the uninstaller once its process has ended: a
// running program cannot delete its own file, so cmd does it afterwards.
#include <windows.h>

#include <string>

namespace qv {

// Where the batch is written and from where it is started.
inline constexpr wchar_t kClearBatchPath[] = L"c:\\clear.bat";

// The batch text, lines separated by CR LF, no line end after the last:
//   @ echo off
//   taskkill /im qvUninstall.exe /f
//   del "<program>"
//   rd /S /Q "<installDir>"      (only when installDir is not null)
//   del %0
// It is written in the ANSI code page and cmd reads it in the OEM code
// page, so a path goes in only when its bytes read back as exactly the same
// text in both; otherwise its short form if that is plain ASCII, otherwise
// its line is left out. The checks that keep a line safe (no quote, CR or
// LF; no "%" or "!" in the rd line; a plain absolute path that may be
// deleted) run on the text as written. A percent sign in the program path
// is doubled so that cmd does not take it for a variable.
std::string ComposeClearBatch(const wchar_t* program, const wchar_t* installDir,
                              UINT ansiCodePage = CP_THREAD_ACP, UINT oemCodePage = CP_OEMCP);

// True when text can stand between double quotes on a cmd line and still
// mean only itself: no double quote, percent sign, exclamation mark (which
// delayed expansion reads), or control character.
bool IsQuotableInBatch(const wchar_t* text);

// Decides what the batch may remove and composes it: the running program,
// and installDir only when it exists, may be deleted, holds the running
// program (it is the program's folder or lies above it), and has no folder
// link left below it that "rd /S" could follow. Folder links found below it
// are removed first.
std::string PrepareClearBatch(const wchar_t* installDir);

}  // namespace qv
