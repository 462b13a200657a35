#pragma once
// Fixtures for the uninstall tests: real files, data files written by the
// real record writer, copies of the test program that run the engine from
// a folder of their own, and a window that records progress messages.
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/QvUninstaller.h"
#include "app/UninstallData.h"
#include "base/QvScoped.h"
#include "support/HostLink.h"
#include "support/TestUtil.h"

namespace uitest {

inline std::wstring Slash(std::wstring path) {
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}

inline std::wstring NoSlash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

// Creates the folders on the way and the file with `text` in it.
inline bool MakeFile(const std::wstring& path, const std::string& text = "x") {
    for (size_t i = 3; i < path.size(); ++i)
        if (path[i] == L'\\') ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    return qvtest::WriteFileBytes(path, text.data(), text.size());
}

inline bool Exists(const std::wstring& path) { return qvtest::FileExists(NoSlash(path)); }

using qvtest::HostPath;
using qvtest::MakeLink;
using qvtest::RunHostShell;


template <size_t N>
void SetField(wchar_t (&field)[N], const std::wstring& text) {
    std::memset(field, 0, sizeof(field));
    std::wmemcpy(field, text.c_str(), text.size() < N ? text.size() : N);
}

inline UninstallEntry Entry(int isFile, const std::wstring& path) {
    UninstallEntry e{};
    e.isFile = isFile;
    SetField(e.path, path);
    return e;
}

struct DatLayout {
    std::wstring regKey{}, product{}, startMenu{}, installDir{};
    std::vector<UninstallEntry> entries{}, shortcuts{};
};

inline bool WriteDat(const std::wstring& path, const DatLayout& layout) {
    UninstallHeader h{};
    SetField(h.regKeyName, layout.regKey);
    SetField(h.productName, layout.product);
    SetField(h.startMenuFolder, layout.startMenu);
    SetField(h.installDir, layout.installDir);
    return WriteUninstallFile(path.c_str(), h, layout.entries.data(),
                              static_cast<int>(layout.entries.size()), layout.shortcuts.data(),
                              static_cast<int>(layout.shortcuts.size()));
}

inline std::string ReadAll(const std::wstring& path) {
    std::string out;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return out;
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(f, buf, sizeof(buf), &got, nullptr) && got) out.append(buf, got);
    ::CloseHandle(f);
    return out;
}

// Children report through a file named by this variable, which they inherit.
constexpr wchar_t kResultsVar[] = L"QV_UNINSTALL_RESULTS";

inline void WriteResults(const std::string& text) {
    wchar_t path[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(kResultsVar, path, MAX_PATH))
        qvtest::WriteFileBytes(path, text.data(), text.size());
}

// Copies this test program to dir\name, so that a child runs with dir as
// its own folder (where the engine finds its data file).
inline std::wstring CopySelf(const std::wstring& dir, const wchar_t* name = L"engine.exe") {
    ::CreateDirectoryW(NoSlash(dir).c_str(), nullptr);
    std::wstring exe = Slash(dir) + name;
    return ::CopyFileW(qvtest::SelfPath().c_str(), exe.c_str(), FALSE) ? exe : std::wstring();
}

inline int RunCopy(const std::wstring& exe, const char* scenario, DWORD timeoutMs = 60000,
                   const wchar_t* application = nullptr) {
    std::wstring cmd = L"\"" + exe + L"\" --qv-child=";
    for (const char* p = scenario; *p; ++p) cmd += static_cast<wchar_t>(*p);
    return qvtest::RunProcess(cmd, timeoutMs, application);
}

// A message-only window that records every WM_UNINSTALL_PROGRESS.
class ProgressRecorder {
public:
    ProgressRecorder() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &ProgressRecorder::Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QvProgressRecorder";
        ::RegisterClassW(&wc);
        hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~ProgressRecorder() { ::DestroyWindow(hwnd); }
    ProgressRecorder(const ProgressRecorder&) = delete;
    ProgressRecorder& operator=(const ProgressRecorder&) = delete;

    std::string Text() const {
        std::string out;
        for (size_t i = 0; i < values.size(); ++i) out += (i ? "," : "") + std::to_string(values[i]);
        return out;
    }

    HWND hwnd = nullptr;
    std::vector<int> values;
    // Runs inside the handler of each message, while the engine waits.
    std::function<void(int percent)> onProgress;
    std::vector<int> crossThread;  // 1 when sent from another thread

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_UNINSTALL_PROGRESS) {
            auto* self = reinterpret_cast<ProgressRecorder*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
            if (self) {
                self->values.push_back(static_cast<int>(wParam));
                self->crossThread.push_back(::InSendMessage() ? 1 : 0);
                if (self->onProgress) self->onProgress(static_cast<int>(wParam));
            }
            return 0;
        }
        return ::DefWindowProcW(wnd, msg, wParam, lParam);
    }
};

// The IDs of this process's threads.
inline std::set<DWORD> OwnThreads() {
    std::set<DWORD> ids;
    qv::ScopedFile snap(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snap) return ids;
    THREADENTRY32 te{};
    te.dwSize = sizeof(te);
    for (BOOL ok = ::Thread32First(snap.get(), &te); ok; ok = ::Thread32Next(snap.get(), &te))
        if (te.th32OwnerProcessID == ::GetCurrentProcessId()) ids.insert(te.th32ThreadID);
    return ids;
}

// Calls start(), then handles messages until every thread it started (only
// those begun in `entry`, when given) has ended, at most Scaled(ms), and
// handles what they posted: the engine's worker posts its final message
// after it says it is done, so only its end shows that the message is
// queued. True when they all ended.
inline bool StartAndWaitForItsThreads(const std::function<void()>& start, DWORD ms,
                                      const void* entry = nullptr) {
    auto beganIn = [](HANDLE thread) {
        void* began = nullptr;
        ::NtQueryInformationThread(thread, ThreadQuerySetWin32StartAddress, &began,
                                   sizeof(began), nullptr);
        return static_cast<const void*>(began);
    };
    std::set<DWORD> before = OwnThreads();
    start();
    std::vector<qv::ScopedHandle> started;
    for (DWORD id : OwnThreads()) {
        if (before.count(id)) continue;
        qv::ScopedHandle thread(::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id));
        if (!entry || (thread && beganIn(thread.get()) == entry))
            started.push_back(std::move(thread));
    }
    bool ended = qvtest::PumpUntil(
        [&] {
            for (const qv::ScopedHandle& thread : started)
                if (thread && ::WaitForSingleObject(thread.get(), 0) != WAIT_OBJECT_0) return false;
            return true;
        },
        ms);
    qvtest::DrainMessages();
    return ended;
}

// A copy of this test program in a folder of its own (app), a product
// folder beside it, and the file through which children report.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(tmp.path().empty());
        app = tmp / L"app\\";
        product = tmp / L"product\\";
        results = tmp / L"results.txt";
        ::SetEnvironmentVariableW(kResultsVar, results.c_str());
        exe = CopySelf(app);
        ASSERT_FALSE(exe.empty());
    }
    void TearDown() override { ::SetEnvironmentVariableW(kResultsVar, nullptr); }

    // Runs a scenario in the copy; returns what it reported.
    std::string Run(const char* scenario, const DatLayout& layout) {
        EXPECT_TRUE(WriteDat(app + L"qvUninstall.dat", layout));
        ::DeleteFileW(results.c_str());
        EXPECT_EQ(0, RunCopy(exe, scenario));
        return ReadAll(results);
    }

    qvtest::TempDir tmp{L"qvengine"};
    std::wstring app, product, results, exe;
};

}  // namespace uitest
