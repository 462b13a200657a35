#pragma once
// Shell and system-integration helpers: free functions exported by the
// framework for programs built on it. Output path buffers hold at least
// MAX_PATH (260) units and are never written past that. int results are 1
// for success and 0 for failure unless a comment says otherwise; failures
// leave outputs empty. The shell-link and internet-shortcut functions
// expect COM to be initialised on the calling thread (LnkToRealPath
// initialises it itself).
#include <windows.h>
#include "base/QvExport.h"

// --- Shortcuts and icons ---------------------------------------------------

// Writes "folder\name.lnk" pointing at `target` (null: this program), working
// in the target's folder; `icon`, `hotkey` and `description` are optional.
QV_API int CreateShortcut(const wchar_t* folder, const wchar_t* name, const wchar_t* target,
                          const wchar_t* icon, WORD hotkey, const wchar_t* description,
                          int show);
// The raw target path of a shortcut; returns the last COM result.
QV_API long LnkToRealPath(const wchar_t* lnk, wchar_t* out);
// The shortcut's icon location and index, or its target with index 0.
QV_API int GetShortcutIcon(const wchar_t* lnk, wchar_t* out, int* index);
// Sets the icon location (index 0) and saves the shortcut.
QV_API int SetShortcutIcon(const wchar_t* lnk, const wchar_t* icon);
QV_API int CreateUrlShortcut(const wchar_t* file, const wchar_t* url);
QV_API int GetShortcutUrl(const wchar_t* file, wchar_t* out);
// The local copy, in the temporary folder, of an internet shortcut's icon
// file; with `download` it is fetched when missing.
QV_API int GetUrlShortcutIcon(const wchar_t* file, wchar_t* out, int download);
// The Internet-cache file of the icon an internet shortcut names.
QV_API int GetUrlCacheIconPath(const wchar_t* file, wchar_t* out);
// That icon at size x size pixels; the caller destroys it.
QV_API HICON GetUrlCacheIcon(const wchar_t* file, int size);
// Icon number `index` of a file at size x size pixels; the caller destroys it.
QV_API HICON GetFileIcon(const wchar_t* file, int index, int size);
// Writes the images of an .ico file into an executable as icon group
// `group`, language 2052.
QV_API int ReplaceExeIco(const wchar_t* exe, const wchar_t* ico, int group);
// Makes the shell rebuild its icon cache.
QV_API void RefreshIconCache();

// --- Starting programs -------------------------------------------------------

// Opens `file` with its default verb; with `wait`, until its process ends.
// Always 1.
QV_API int DoRun(const wchar_t* file, const wchar_t* params, int wait, int show);
// Opens `url` with the registered web browser (else iexplore.exe).
QV_API void OpenUrl(const wchar_t* url, int wait);

// --- Notification-area icon (one per window, identifier 0) ------------------

QV_API int ShowTray(HWND wnd, HICON icon, const wchar_t* tip, UINT message);
QV_API int SetIcon(HWND wnd, HICON icon);
QV_API int SetTip(HWND wnd, const wchar_t* tip);
QV_API int ShowBalloon(HWND wnd, const wchar_t* title, const wchar_t* text, int timeout);
QV_API int DelTray(HWND wnd);

// --- Clipboard and common dialogs --------------------------------------------

// The clipboard's text, cut to max - 1 units; 0 when there is none or
// `max` is below 1.
QV_API int GetClipboard(wchar_t* out, int max);
QV_API int SetClipboard(const wchar_t* text);
// The chosen colour, or `color` when the user cancels.
QV_API DWORD GetColorDlg(HWND owner, DWORD color);
QV_API int ShowSaveFileDlg(wchar_t* out, HWND owner, const wchar_t* defExt,
                           const wchar_t* filter);
// With `multi`, `out` receives the folder and the names, each terminated,
// and a final empty string.
QV_API int ShowOpenFileDlg(wchar_t* out, int outSize, HWND owner, const wchar_t* filter,
                           const wchar_t* defExt, int multi);
QV_API int ShowSelDir(wchar_t* out, HWND owner);

// --- Sound -------------------------------------------------------------------

// Plays a WAVE resource of this program or a .wav file, asynchronously.
QV_API int PlayWav(const wchar_t* sound, int fromResource);
// Media played through the multimedia device "mymusic".
QV_API void PlayMP3(const wchar_t* file, int repeat);
QV_API void PauseMP3(const wchar_t* alias);
QV_API void ResumeMP3(const wchar_t* alias);
QV_API void StopMP3(const wchar_t* alias);

// --- Signatures and certificates ---------------------------------------------

// 1 when the file carries a trusted Authenticode signature.
QV_API int VerifySignature(const wchar_t* file);
// 1 when the current user's trusted roots hold a certificate whose subject
// contains `subject`.
QV_API int CertExists(const wchar_t* subject);
// Adds a DER certificate to the machine's trusted roots, replacing a copy
// already there.
QV_API int ImportCACert(void* der, int size);
QV_API int ImportCertFile(const wchar_t* file);

// --- Kernel drivers ----------------------------------------------------------

// Creates (or opens) and starts a kernel-driver service; 1 when it runs.
QV_API int LoadDrv(const wchar_t* name, const wchar_t* sysFile);
// Stops and deletes the service; 1 when it could be opened.
QV_API int UnLoadDrv(const wchar_t* name);

// --- File types and URL protocols --------------------------------------------

// Makes `progId` the handler of `ext`, opened by `exe`; nothing when it
// already is.
QV_API void RegFileRelation(const wchar_t* ext, const wchar_t* exe, const wchar_t* progId,
                            const wchar_t* icon, const wchar_t* description);
// Registers `scheme` as a URL protocol opened by `exeName` in this
// program's folder.
QV_API void RegProtocol(const wchar_t* scheme, const wchar_t* exeName);
