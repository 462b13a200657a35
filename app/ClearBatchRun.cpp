// Writing and starting the self-delete batch where nobody else can reach it.
#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "app/ClearBatch.h"
#include "app/UninstallSafety.h"
#include "base/QvFinalPath.h"
#include "base/QvLog.h"
#include "base/QvScoped.h"
#include "base/QvTrust.h"

namespace qv {

namespace {

std::function<void(const std::wstring&, const std::string&)>& Observer() {
    static auto* observer = new std::function<void(const std::wstring&, const std::string&)>();
    return *observer;
}

std::wstring& TempBase() {
    static auto* base = new std::wstring();
    return *base;
}

// A security descriptor that lets only SYSTEM and administrators in.
class AdminsOnly {
public:
    AdminsOnly() {
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor_, nullptr);
        attributes_.nLength = sizeof(attributes_);
        attributes_.lpSecurityDescriptor = descriptor_;
    }
    ~AdminsOnly() { ::LocalFree(descriptor_); }
    AdminsOnly(const AdminsOnly&) = delete;
    AdminsOnly& operator=(const AdminsOnly&) = delete;
    SECURITY_ATTRIBUTES* get() { return descriptor_ ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

std::wstring RandomName() {
    unsigned char bytes[8] = {};
    if (!::RtlGenRandom(bytes, sizeof(bytes))) {
        LARGE_INTEGER now{};
        ::QueryPerformanceCounter(&now);
        std::memcpy(bytes, &now, sizeof(bytes));
    }
    wchar_t name[32];
    std::swprintf(name, 32, L"qvUninstall-%02X%02X%02X%02X%02X%02X%02X%02X", bytes[0], bytes[1],
                  bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7]);
    return name;
}

// Makes a folder of a new name in base: CreateDirectory never reuses what
// stands there (a folder, a file or a link someone prepared), and the name
// cannot be guessed beforehand. When elevated, only SYSTEM and
// administrators may write in it. Empty when none could be made.
std::wstring MakePrivateFolder(const std::wstring& base, bool elevated) {
    AdminsOnly adminsOnly;
    SECURITY_ATTRIBUTES* security = elevated ? adminsOnly.get() : nullptr;
    if (elevated && !security) return std::wstring();
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::wstring folder = base + L"\\" + RandomName();
        if (folder.size() + 1 + std::wcslen(kClearBatchName) >= MAX_PATH) return std::wstring();
        if (!::CreateDirectoryW(folder.c_str(), security)) {
            if (::GetLastError() == ERROR_ALREADY_EXISTS) continue;
            return std::wstring();
        }
        // The folder above could be a link to elsewhere: act only where the
        // folder made is the one named.
        ScopedFile check(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
        if (check && OpensAsNamed(check.get(), folder.c_str())) return folder;
        check.reset();
        ::RemoveDirectoryW(folder.c_str());
        return std::wstring();
    }
    return std::wstring();
}

// Whether an elevated program may make its batch's folder in base: no one
// but administrators may delete, rename or replace what is in it (users
// may add to the system's temporary folder, which does no harm: the folder
// made has a new name and admits administrators only).
bool KeepsWhatIsMadeIn(const std::wstring& base) {
    ScopedFile held(::CreateFileW(base.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::wstring why;
    if (held && OpensAsNamed(held.get(), base.c_str()) &&
        trust::OnlyTrustedCanRemoveFrom(held.get(), &why))
        return true;
    CQvLog::Instance().WriteLog2(L"self-delete: no batch under %s: %s", base.c_str(),
                                 held ? why.c_str() : L"it cannot be opened as named");
    return false;
}

// The batch's folder: under the system's Windows temporary folder (the
// system's, not a Remote Desktop user's private Windows folder), where
// standard users cannot list or change what administrators make. Only
// there when elevated: anywhere a user could swap the batch between its
// writing and cmd's reading it, no batch is written and the program stays.
// Not elevated, under the user's own temporary folder when the system's
// cannot be written.
std::wstring MakeBatchFolder() {
    bool elevated = trust::IsElevated();
    wchar_t buf[MAX_PATH] = {};
    std::wstring base = TempBase();
    UINT n = base.empty() ? ::GetSystemWindowsDirectoryW(buf, MAX_PATH) : 0;
    if (n > 0 && n < MAX_PATH) base = TidyPath(buf) + L"\\Temp";
    if (!base.empty()) {
        if (elevated && !KeepsWhatIsMadeIn(base)) return std::wstring();
        std::wstring folder = MakePrivateFolder(base, elevated);
        if (!folder.empty()) return folder;
    }
    if (elevated) return std::wstring();
    DWORD m = ::GetTempPathW(MAX_PATH, buf);
    if (m == 0 || m >= MAX_PATH) return std::wstring();
    return MakePrivateFolder(TidyPath(buf), elevated);
}

bool WriteNew(const std::wstring& path, const std::string& text) {
    // CREATE_NEW never opens what is there already, a link included.
    ScopedFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                       nullptr) &&
           written == text.size();
}

bool StartHidden(const std::wstring& systemFolder, const std::wstring& batch) {
    std::wstring cmd = systemFolder + L"\\cmd.exe";
    // /d: no AutoRun command of the user's runs first.
    std::wstring line = L"\"" + cmd + L"\" /d /c \"" + batch + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(cmd.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          nullptr, systemFolder.c_str(), &startup, &process))
        return false;
    // Nothing waits for the batch: it outlives this process.
    qv::ScopedHandle thread(process.hThread), child(process.hProcess);
    return true;
}

}  // namespace

namespace seam {
void SetClearBatchTempBase(const std::wstring& base) {
    TempBase() = base;
}

void SetClearBatchObserver(std::function<void(const std::wstring&, const std::string&)> observer) {
    Observer() = std::move(observer);
}
}  // namespace seam

bool StartClearBatch(const wchar_t* installDir) {
    wchar_t system[MAX_PATH] = {};
    UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    std::wstring systemFolder = TidyPath(system);
    std::wstring program = RunningProgramPath();
    std::string text = ComposeClearBatch(program.c_str(), ClearBatchFolders(installDir, program),
                                         systemFolder.c_str());
    std::wstring folder = MakeBatchFolder();
    if (folder.empty()) return false;
    std::wstring batch = folder + L"\\" + kClearBatchName;
    if (WriteNew(batch, text)) {
        if (Observer()) Observer()(batch, text);
        // Nothing is registered for the next restart: the batch removes
        // itself and its folder, and an entry naming a path in the system's
        // temporary folder would outlive them, free for someone to make a
        // link of that name that the system would follow at the restart.
        if (StartHidden(systemFolder, batch)) return true;
    }
    // Half a batch could stop in the middle of a path; one that cannot run
    // is no use: leave nothing behind.
    ::DeleteFileW(batch.c_str());
    ::RemoveDirectoryW(folder.c_str());
    return false;
}

}  // namespace qv
