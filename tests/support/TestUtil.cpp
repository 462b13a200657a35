#include "support/TestUtil.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>

namespace qvtest {

namespace {

bool Pump(const std::function<bool()>& done, DWORD ms) {
    DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start >= ms) return done();
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

}  // namespace

DWORD Scaled(DWORD ms) {
    static const DWORD scale = [] {
        wchar_t text[16] = {};
        DWORD len = ::GetEnvironmentVariableW(L"QV_TIME_SCALE", text, 16);
        unsigned long value = len > 0 && len < 16 ? std::wcstoul(text, nullptr, 10) : 0;
        return value >= 1 && value <= 100 ? static_cast<DWORD>(value) : 1UL;
    }();
    return ms > MAXDWORD / scale ? MAXDWORD - 1 : ms * scale;
}

void DrainMessages() {
    MSG msg;
    // Bounded: a window that never validates itself would be painted forever.
    for (int i = 0; i < 10000 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// A fixed pump is a pause, not a limit: it keeps its length.
void PumpMessages(DWORD ms) {
    Pump([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
    return Pump(done, Scaled(ms));
}

bool WaitPainted(HWND wnd, DWORD ms) {
    return PumpUntil(
        [&] { return ::IsWindowVisible(wnd) && !::GetUpdateRect(wnd, nullptr, FALSE); }, ms);
}

std::wstring SelfPath() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

int RunProcess(const std::wstring& cmdline, DWORD timeoutMs, const wchar_t* application) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    // Under load Wine now and then fails to start a program that was copied
    // a moment ago; a short retry tells that apart from a real failure.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt) ::Sleep(300);
        std::wstring cmd = cmdline;
        started = ::CreateProcessW(application, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &pi);
        if (!started)
            std::fprintf(stderr, "CreateProcess failed (error %lu): %ls\n", ::GetLastError(),
                         cmdline.c_str());
    }
    if (!started) return -2;
    int code = -1;
    if (::WaitForSingleObject(pi.hProcess, Scaled(timeoutMs)) == WAIT_OBJECT_0) {
        DWORD exit = 0;
        ::GetExitCodeProcess(pi.hProcess, &exit);
        code = static_cast<int>(exit);
    } else {
        ::TerminateProcess(pi.hProcess, 259);
        ::WaitForSingleObject(pi.hProcess, 5000);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}

namespace {
std::map<std::string, ChildFn>& Children() {
    static std::map<std::string, ChildFn> children;
    return children;
}
}  // namespace

bool RegisterChild(const char* name, ChildFn fn) {
    Children()[name] = fn;
    return true;
}

int RunChild(const char* name, DWORD timeoutMs) {
    std::wstring cmd = L"\"" + SelfPath() + L"\" --qv-child=";
    for (const char* p = name; *p; ++p) cmd += static_cast<wchar_t>(*p);
    return RunProcess(cmd, timeoutMs);
}

bool MaybeRunChild(int argc, char** argv, int* exitCode) {
    const char prefix[] = "--qv-child=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, sizeof(prefix) - 1) != 0) continue;
        auto it = Children().find(argv[i] + sizeof(prefix) - 1);
        *exitCode = it == Children().end() ? 254 : it->second();
        return true;
    }
    return false;
}

TempDir::TempDir(const wchar_t* tag) {
    wchar_t base[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"%ls%ls_%lu_%ld\\", base, tag, ::GetCurrentProcessId(),
                 ::InterlockedIncrement(&counter));
        if (::CreateDirectoryW(name, nullptr)) {
            path_ = name;
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
}

TempDir::~TempDir() {
    if (!path_.empty()) RemoveTree(path_);
}

void RemoveTree(const std::wstring& dir) {
    std::wstring root = dir;
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    DWORD attrs = ::GetFileAttributesW(root.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return;
    // A link is removed as a link; its target is not ours to empty.
    if (!(attrs & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW fd;
        HANDLE find = ::FindFirstFileW((root + L"*").c_str(), &fd);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = fd.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring full = root + name;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                        ::RemoveDirectoryW(full.c_str());
                    else
                        RemoveTree(full);
                } else {
                    ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                    ::DeleteFileW(full.c_str());
                }
            } while (::FindNextFileW(find, &fd));
            ::FindClose(find);
        }
    }
    ::RemoveDirectoryW(root.c_str());
}

bool WriteFileBytes(const std::wstring& path, const void* data, size_t size) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = size == 0 || ::WriteFile(f, data, static_cast<DWORD>(size), &written, nullptr);
    ::CloseHandle(f);
    return ok && written == size;
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Pixels ReadBitmap(HBITMAP bitmap) {
    Pixels out;
    BITMAP bm{};
    if (!::GetObjectW(bitmap, sizeof(bm), &bm)) return out;
    out.width = bm.bmWidth;
    out.height = bm.bmHeight;
    out.px.resize(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = bm.bmWidth;
    info.bmiHeader.biHeight = -bm.bmHeight;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    ::GetDIBits(screen, bitmap, 0, bm.bmHeight, out.px.data(), &info, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    return out;
}

Pixels ReadWindow(HWND wnd) {
    RECT rc{};
    ::GetClientRect(wnd, &rc);
    HDC dc = ::GetDC(wnd);
    HDC mem = ::CreateCompatibleDC(dc);
    HBITMAP bmp = ::CreateCompatibleBitmap(dc, rc.right, rc.bottom);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, rc.right, rc.bottom, dc, 0, 0, SRCCOPY);
    ::SelectObject(mem, old);
    Pixels out = ReadBitmap(bmp);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(wnd, dc);
    return out;
}

bool CreateFolderWithSddl(const std::wstring& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd,
                                                                nullptr))
        return false;
    SECURITY_ATTRIBUTES sa{sizeof(sa), sd, FALSE};
    bool made = ::CreateDirectoryW(path.c_str(), &sa) != FALSE;
    ::LocalFree(sd);
    return made;
}

bool SetSddl(const std::wstring& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd,
                                                                nullptr))
        return false;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    ::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
    ::GetSecurityDescriptorOwner(sd, &owner, &defaulted);
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
    if (owner) what |= OWNER_SECURITY_INFORMATION;
    DWORD rc = ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, what,
                                       owner, nullptr, present ? dacl : nullptr, nullptr);
    ::LocalFree(sd);
    return rc == ERROR_SUCCESS;
}

}  // namespace qvtest
