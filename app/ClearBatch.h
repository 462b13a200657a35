#pragma once
// The batch that removes the uninstaller once its process has ended: a
// running program cannot delete its own file, so cmd does it afterwards.
#include <string>

namespace qv {

// Where the batch is written and from where it is started.
inline constexpr wchar_t kClearBatchPath[] = L"c:\\clear.bat";

// The batch text in the current thread's ANSI code page, lines separated by
// CR LF, no line end after the last:
//   @ echo off
//   taskkill /im qvUninstall.exe /f
//   del "<program>"
//   rd /S /Q "<installDir>"      (only when installDir is not null)
//   del %0
// A path that the code page cannot spell is written in its short form; if
// that fails too, its line is left out, since cmd would read the
// replacement characters as wildcards. A percent sign in the program path
// is doubled so that cmd does not take it for a variable.
std::string ComposeClearBatch(const wchar_t* program, const wchar_t* installDir);

// True when text can stand between double quotes on a cmd line and still
// mean only itself: no double quote, percent sign, CR or LF.
bool IsQuotableInBatch(const wchar_t* text);

}  // namespace qv
