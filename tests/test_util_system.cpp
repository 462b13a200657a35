// WOW64, operating system, processor and locale facts.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "base/QvUtil.h"
#include "support/TestUtil.h"

namespace {

// The machine field of a PE file's header, or 0.
WORD PeMachine(const wchar_t* path) {
    HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BYTE head[4096] = {};
    DWORD read = 0;
    ::ReadFile(file, head, sizeof(head), &read, nullptr);
    ::CloseHandle(file);
    LONG pe = 0;
    std::memcpy(&pe, head + 0x3c, sizeof(pe));
    if (pe <= 0 || static_cast<DWORD>(pe) + 6 > read) return 0;
    WORD machine = 0;
    std::memcpy(&machine, head + pe + 4, sizeof(machine));
    return machine;
}

}  // namespace

TEST(System, Wow64AndFileSystemRedirection) {
    BOOL wow = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow);
    EXPECT_EQ(wow ? 1 : 0, isWow64());
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    std::wstring kernel = std::wstring(system) + L"\\kernel32.dll";
    // Without redirection switched off, the system folder matches the process.
    const WORD own = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    EXPECT_EQ(own, PeMachine(kernel.c_str()));

    // Switched off, the system folder is the system's own: 64-bit under
    // WOW64, and unchanged for a process that is not redirected.
    void* old = nullptr;
    DisableFsRedirection(&old);
    EXPECT_EQ(wow ? IMAGE_FILE_MACHINE_AMD64 : own, PeMachine(kernel.c_str()));
    RevertFsRedirection(&old);
    EXPECT_EQ(own, PeMachine(kernel.c_str()));
}

TEST(System, VersionNamesAgree) {
    wchar_t name[32] = {};
    EXPECT_EQ(1, GetOsName(name));
    const std::set<std::wstring> known{L"Win2000", L"XP", L"Vista", L"Win7", L"Win8", L"9x", L"Me"};
    EXPECT_TRUE(known.count(name)) << name;
    std::wstring os = name;
    EXPECT_EQ(os == L"Vista" || os == L"Win7" || os == L"Win8" ? 1 : 0, isWin7());
    EXPECT_EQ(os == L"Win8" ? 1 : 0, isWin8());
    int uac = isEnableUAC();
    EXPECT_TRUE(uac == 0 || uac == 1);
    if (!isWin7()) {
        EXPECT_EQ(0, uac);
    }
    int notebook = isNotebook();
    EXPECT_TRUE(notebook == 0 || notebook == 1);
}

TEST(System, CodePageChecks) {
    UINT acp = ::GetACP();
    EXPECT_EQ(acp == 936 ? 1 : 0, isSimplified());
    EXPECT_EQ(acp == 950 ? 1 : 0, isTraditional());
    EXPECT_EQ(acp == 1252 ? 1 : 0, isEnglish());
}

TEST(System, ProcessorIdentity) {
    char id[32] = {};
    GetCPUID(id);
    std::string text = id;
    ASSERT_GT(text.size(), 12u);
    std::string vendor = text.substr(0, 12);
    for (char c : vendor) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << vendor;
    std::string features = text.substr(12);
    EXPECT_EQ(std::string::npos, features.find_first_not_of("-0123456789")) << features;
    EXPECT_NE("0", features) << "leaf 1 has feature bits on every x86 processor";
}

TEST(System, Privileges) {
    EXPECT_EQ(1, SetPrivilege(SE_SHUTDOWN_NAME, 1));
    EXPECT_EQ(0, SetPrivilege(L"SeNoSuchPrivilege", 1));
    EXPECT_EQ(0, SetPrivilege(nullptr, 1));
}
