#pragma once
// Path, system and identity utilities: free functions exported by the
// framework. Output path buffers hold at least MAX_PATH (260) units and are
// never written past that. int results are 1 for success, 0 for failure,
// unless a comment says otherwise.
#include <windows.h>
#include "base/QvExport.h"

// --- Where things are ---------------------------------------------------

// The program's folder, ending in a backslash; empty when it cannot be read
// or does not fit MAX_PATH units (never a cut path, which names a parent).
QV_API void GetCurPath(wchar_t* out);
// The folder of a loaded module (null: the program), ending in a backslash;
// empty as GetCurPath is.
QV_API void GetCurPathEx(const wchar_t* module, wchar_t* out);
// The current user's Start-menu Programs folder (not created).
QV_API int GetProgramsPath(wchar_t* out);
// The desktop folder shared by all users (not created).
QV_API int GetDesktopPath(wchar_t* out);
QV_API int GetProgramFilePath(wchar_t* out);
// The current user's Start menu.
QV_API int GetStartMenuPath(wchar_t* out);
// The Quick Launch folder, or with `pinned` its taskbar pins; always 1.
QV_API int GetQuickLaunchPath(wchar_t* out, int pinned);
// Cuts `path` after its last backslash (when that is not the first
// character) and drops the double quotes left in it.
QV_API void ExtractPath(wchar_t* path);

// --- Files and folders --------------------------------------------------

QV_API int CreateFolder(const wchar_t* path);
// Creates every missing folder above the last backslash of `path`;
// always 1.
QV_API int CreateDirTree(const wchar_t* path);
QV_API int isDir(const wchar_t* path);
// 0 when the file cannot be examined.
QV_API __int64 FileSize(const wchar_t* path);
// Local creation, last-write and last-access times; null outputs skipped.
QV_API int FileTime(const wchar_t* path, SYSTEMTIME* created, SYSTEMTIME* written,
                    SYSTEMTIME* accessed);
// Creates or truncates the file and writes `size` bytes.
QV_API int QvWriteFile(const wchar_t* path, void* data, DWORD size);
// Reads up to `size` bytes from the start; `size` receives the count read.
QV_API int QvReadFile(const wchar_t* path, void* data, DWORD& size);
// Bytes used on a drive root ("C:\"), or a folder's total size.
QV_API unsigned __int64 GetPathUseSpace(const wchar_t* path);

// --- Size texts ----------------------------------------------------------

// "12 B", "1.00 KB", "3.50 MB", "1.25 GB". `out` holds at least 64 units.
QV_API void IntToStrSize(__int64 size, wchar_t* out);
// "2 MB" -> 2097152; the unit must follow a space. 0 when there is none.
QV_API __int64 StrToIntSize(const wchar_t* text);

// --- Versions and installed software -------------------------------------

// 1 when `a` is newer, -1 when older, 0 when equal, -2 when either is empty.
QV_API int CompVersion(const wchar_t* a, const wchar_t* b);
// "a.b.c.d" from the file's version resource; empty and 0 without one.
QV_API int GetFileVer(const wchar_t* file, wchar_t* out);
// DisplayVersion (at most 50 units) of the first installed product whose
// DisplayName begins with `name`.
QV_API int GetSoftVer(const wchar_t* name, wchar_t* out);
QV_API int CheckInstalled(const wchar_t* name);

// --- Operating system and locale ------------------------------------------

// 1 for a 32-bit process on 64-bit Windows.
QV_API int isWow64();
// Turn WOW64 file-system redirection off and back on for the calling
// thread; nothing outside WOW64.
QV_API void DisableFsRedirection(void** old);
QV_API void RevertFsRedirection(void** old);
// "Win2000", "XP", "Vista", "Win7", "Win8", "9x" or "Me"; always 1.
QV_API int GetOsName(wchar_t* out);
QV_API int isWin7();  // Vista or later
QV_API int isWin8();
QV_API int isEnableUAC();
QV_API int isNotebook();
QV_API int isSimplified();   // ANSI code page 936
QV_API int isTraditional();  // ANSI code page 950
QV_API int isEnglish();      // ANSI code page 1252
// Processor vendor followed by the decimal feature bits; `out` holds 32.
QV_API void GetCPUID(char* out);
// Enables or removes a privilege of the process token.
QV_API int SetPrivilege(const wchar_t* name, int enable);

// --- Text -----------------------------------------------------------------

QV_API int isDigital(const char* s);
// A GBK Chinese character.
QV_API int isHZ(const char* s);
// GBK simplified text to Big5 traditional text, in place, within `size`
// bytes.
QV_API void gb2big(char* s, int size);
// To traditional characters: Big5 on a code-page-950 system, else GBK.
QV_API void GbToTraditional(char* s, int size);
QV_API int QvGetStrWidth(const wchar_t* text, HWND wnd, HFONT font);

// --- Shared memory and single instance --------------------------------------

QV_API HANDLE CreateShareMem(const wchar_t* name, DWORD size);
QV_API int isExistsShareMem(const wchar_t* name);
// Writes that do not fit inside the mapping are refused (0).
QV_API int WriteShareMem(const wchar_t* name, const wchar_t* text, int at);
QV_API int ReadShareMem(const wchar_t* name, wchar_t* out);
QV_API int WriteShareMem2(const wchar_t* name, void* data, int size, int at);
QV_API int ReadShareMem2(const wchar_t* name, void* out, int size, int at);
// 1 for the first instance; 0 after handing `cmdLine` to the window titled
// `name` of the instance already running.
QV_API int CheckOneInstance(const wchar_t* name, const wchar_t* cmdLine);

// --- Identity and URLs ------------------------------------------------------

// "QV" + tick count + two random numbers; with `persist` the user's stored
// identifier is kept once it is one of 20 characters. `out` holds 50.
QV_API void CreateUID(wchar_t* out, int persist);
// Percent-escapes the UTF-8 form of `text` in place; 0 (text unchanged)
// when the result with its terminator exceeds 1024 units.
QV_API int URLEncode(wchar_t* text);
