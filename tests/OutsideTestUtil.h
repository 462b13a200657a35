#pragma once
// What the tests of "nothing outside the product" and the reliability rows
// share: the user's programs folder moved in the user's own registry,
// trees made deep on purpose, the standard programs folder, and a child that
// runs the engine on its thread. Included by one test program source each.
#include <windows.h>

#include <cwchar>
#include <string>

#include "UninstallTestUtil.h"
#include "app/ShellPlaces.h"
#include "base/QvScoped.h"

namespace uitest {

inline std::wstring Unique(const wchar_t* stem) {
    return stem + std::to_wstring(::GetCurrentProcessId());
}

// The standard Start-menu programs folder of the current user, as the
// machine's profile list names the profile.
inline std::wstring UserPrograms() {
    const qv::ShellPlaces& places = qv::StandardPlaces();
    return places.programs.empty() ? std::wstring() : places.programs.front();
}

// Sets (or, with an empty value, removes) the current user's programs
// folder in the user's own registry, as any program of the user can.
class ProgramsRedirect {
public:
    explicit ProgramsRedirect(const std::wstring& folder) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                          key_.put(), nullptr);
        DWORD size = sizeof(old_);
        had_ = ::RegQueryValueExW(key_.get(), L"Programs", nullptr, &type_,
                                  reinterpret_cast<BYTE*>(old_), &size) == ERROR_SUCCESS;
        ::RegSetValueExW(key_.get(), L"Programs", 0, REG_EXPAND_SZ,
                         reinterpret_cast<const BYTE*>(folder.c_str()),
                         static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    }
    ~ProgramsRedirect() {
        if (had_)
            ::RegSetValueExW(key_.get(), L"Programs", 0, type_, reinterpret_cast<const BYTE*>(old_),
                             static_cast<DWORD>((std::wcslen(old_) + 1) * sizeof(wchar_t)));
        else
            ::RegDeleteValueW(key_.get(), L"Programs");
    }
    ProgramsRedirect(const ProgramsRedirect&) = delete;
    ProgramsRedirect& operator=(const ProgramsRedirect&) = delete;

private:
    static constexpr wchar_t kKey[] =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    qv::ScopedKey key_;
    wchar_t old_[MAX_PATH] = {};
    DWORD type_ = REG_EXPAND_SZ;
    bool had_ = false;
};

// A chain of depth nested folders "d" in a new folder root. Made by the
// host where there is one: its mkdir goes down one folder at a time, where
// a Windows program would spell the whole path each time (and the host
// refuses paths above 4,096 bytes). False when it cannot be made.
inline bool MakeChain(const std::wstring& root, int depth) {
    std::string host = HostPath(root), marker = HostPath(root + L".made");
    if (host.empty()) {
        std::wstring path = L"\\\\?\\" + NoSlash(root);
        ::CreateDirectoryW(path.c_str(), nullptr);
        for (int i = 0; i < depth; ++i) {
            path += L"\\d";
            if (!::CreateDirectoryW(path.c_str(), nullptr)) return false;
        }
        return true;
    }
    // One mkdir -p of a relative path: it goes down one folder at a time.
    return RunHostShell("mkdir '" + host + "' && cd '" + host + "' && p=d && i=1 && while [ $i -lt " +
                            std::to_string(depth) + " ]; do p=$p/d; i=$((i+1)); done && " +
                            "mkdir -p $p && touch '" + marker + "'",
                        [&] { return Exists(root + L".made"); });
}

inline void RemoveChain(const std::wstring& root, int depth) {
    std::string host = HostPath(root);
    if (!host.empty()) {
        RunHostShell("rm -rf '" + host + "' '" + host + ".made'", [&] { return !Exists(root); });
        return;
    }
    std::wstring path = L"\\\\?\\" + NoSlash(root);
    for (int i = 0; i < depth; ++i) path += L"\\d";
    for (int i = 0; i <= depth; ++i) {
        ::RemoveDirectoryW(path.c_str());
        path.resize(path.size() - 2);
    }
}

// Runs the engine (outside_sync) with the product's own folder added to the
// records: it must go, or a product that deletes nothing would pass every
// check that only counts what stayed.
class OutsideTest : public EngineTest {
protected:
    std::string RunBesideProduct(DatLayout layout) {
        EXPECT_TRUE(MakeFile(product + L"own.txt"));
        layout.entries.push_back(Entry(0, product));
        std::string got = Run("outside_sync", layout);
        EXPECT_FALSE(Exists(product + L"own.txt")) << "the product itself stayed";
        return got;
    }
};

}  // namespace uitest

// The engine on the child's own thread; reports the progress messages.
QV_CHILD(outside_sync) {
    uitest::ProgressRecorder rec;
    CQvUninstaller engine;
    engine.StartUninstall(rec.hwnd, 0);
    uitest::WriteResults(rec.Text());
    return 0;
}
