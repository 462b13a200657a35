// The crash handler's object and its pieces that can run without a crash:
// installing and restoring the filter, the minidump, the stack reserve.
// The crashes themselves are in e2e_crash.sh.
#include <gtest/gtest.h>
#include <windows.h>

#include <dbghelp.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/QvDump.h"
#include "app/QvDumpWork.h"
#include "support/HostLink.h"
#include "support/ImageFixtures.h"
#include "support/TestUtil.h"
#include "ui/QvThread.h"

using namespace qvtest;

namespace {

LONG WINAPI MarkerFilter(EXCEPTION_POINTERS*) {
    return EXCEPTION_CONTINUE_SEARCH;
}

LPTOP_LEVEL_EXCEPTION_FILTER CurrentFilter() {
    LPTOP_LEVEL_EXCEPTION_FILTER current = ::SetUnhandledExceptionFilter(nullptr);
    ::SetUnhandledExceptionFilter(current);
    return current;
}

// The dumps "<this program>_<number>.dmp" beside this program.
std::vector<std::wstring> Dumps() {
    std::vector<std::wstring> out;
    std::wstring self = SelfPath();
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW((self + L"_*.dmp").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return out;
    std::wstring folder = self.substr(0, self.rfind(L'\\') + 1);
    do {
        out.push_back(folder + fd.cFileName);
    } while (::FindNextFileW(find, &fd));
    ::FindClose(find);
    return out;
}

struct DumpFacts {
    bool valid = false;
    DWORD exceptionThread = 0;
    DWORD exceptionCode = 0;
    std::vector<DWORD> threads;
};

template <typename T>
T At(const std::vector<BYTE>& d, size_t offset) {
    T v{};
    if (offset + sizeof(T) <= d.size()) std::memcpy(&v, d.data() + offset, sizeof(T));
    return v;
}

// The header, the exception stream and the thread list of a minidump.
DumpFacts ReadDump(const std::wstring& path) {
    DumpFacts f;
    std::vector<BYTE> d = ReadBytes(path);
    if (d.size() < 32 || std::memcmp(d.data(), "MDMP", 4) != 0) return f;
    const auto count = At<DWORD>(d, 8), dir = At<DWORD>(d, 12);
    for (DWORD i = 0; i < count; ++i) {
        const auto type = At<DWORD>(d, dir + 12 * i), rva = At<DWORD>(d, dir + 12 * i + 8);
        if (type == ExceptionStream) {
            f.exceptionThread = At<DWORD>(d, rva);
            f.exceptionCode = At<DWORD>(d, rva + 8);
        } else if (type == ThreadListStream) {
            for (DWORD t = 0; t < At<DWORD>(d, rva); ++t)
                f.threads.push_back(At<DWORD>(d, rva + 4 + 48 * t));
        }
    }
    f.valid = true;
    return f;
}

}  // namespace

TEST(Dump, InstalledObjectPutsBackTheFilterItReplaced) {
    LPTOP_LEVEL_EXCEPTION_FILTER before = ::SetUnhandledExceptionFilter(MarkerFilter);
    {
        CqvDump dump;
        EXPECT_EQ(&CqvDump::ExceptionFilter, CurrentFilter());
        EXPECT_EQ(&MarkerFilter, dump.previousFilter);
        EXPECT_TRUE(dump.appName.empty());
        EXPECT_TRUE(dump.reportType.empty());
        dump.Install(L"塔洛软件-卸载程序", L"tl_uninstall_dump");
        EXPECT_EQ(L"塔洛软件-卸载程序", dump.appName);
        EXPECT_EQ(L"tl_uninstall_dump", dump.reportType);
        dump.Install(nullptr, nullptr);
        EXPECT_TRUE(dump.reportType.empty());
        dump.Install(L"a", L"b");

        // Copies take the fields but install nothing, so dropping one
        // cannot switch the handler off.
        {
            CqvDump copy(dump);
            EXPECT_EQ(L"a", copy.appName);
            EXPECT_EQ(L"b", copy.reportType);
            EXPECT_EQ(&MarkerFilter, copy.previousFilter);
            dump.Install(L"c", L"d");
            copy = dump;
            EXPECT_EQ(L"c", copy.appName);
            EXPECT_EQ(L"d", copy.reportType);
        }
        EXPECT_EQ(&CqvDump::ExceptionFilter, CurrentFilter());
    }
    EXPECT_EQ(&MarkerFilter, CurrentFilter());
    ::SetUnhandledExceptionFilter(before);
}

TEST(Dump, InstallDumpInstallsTheHandlerOnce) {
    LPTOP_LEVEL_EXCEPTION_FILTER before = ::SetUnhandledExceptionFilter(MarkerFilter);
    InstallDump(L"测试", L"tl_test_dump");
    EXPECT_EQ(&CqvDump::ExceptionFilter, CurrentFilter());
    ::SetUnhandledExceptionFilter(MarkerFilter);
    InstallDump(L"测试", L"tl_test_dump2");
    EXPECT_EQ(&MarkerFilter, CurrentFilter()) << "a second call only renames";
    ::SetUnhandledExceptionFilter(before);
}

TEST(Dump, WritesAMinidumpOfTheFaultingThreadBesideTheProgram) {
    for (const auto& old : Dumps()) ::DeleteFileW(old.c_str());
    CONTEXT context{};
    ::RtlCaptureContext(&context);
    EXCEPTION_RECORD record{};
    record.ExceptionCode = 0xE0514D31;
    record.ExceptionAddress = reinterpret_cast<void*>(&MarkerFilter);
    EXCEPTION_POINTERS pointers{&record, &context};
    tagCrashInfo crash{&pointers, ::GetCurrentThreadId(), true};
    ASSERT_TRUE(WriteCrashDump(crash));

    std::vector<std::wstring> dumps = Dumps();
    ASSERT_EQ(1u, dumps.size());
    std::wstring name = dumps[0].substr(dumps[0].rfind(L'\\') + 1);
    std::wstring self = SelfPath().substr(SelfPath().rfind(L'\\') + 1);
    EXPECT_EQ(0u, name.find(self + L"_")) << "named after the program";
    EXPECT_EQ(name.size() - 4, name.rfind(L".dmp"));
    DumpFacts facts = ReadDump(dumps[0]);
    EXPECT_TRUE(facts.valid);
    EXPECT_EQ(::GetCurrentThreadId(), facts.exceptionThread);
    EXPECT_EQ(0xE0514D31u, facts.exceptionCode);
    bool listed = false;
    for (DWORD t : facts.threads) listed |= t == ::GetCurrentThreadId();
    EXPECT_TRUE(listed) << "the faulting thread is in the thread list";
    for (const auto& d : dumps) ::DeleteFileW(d.c_str());
}

namespace {

unsigned ReserveProbe(void* result) {
    // Threads started by the framework keep the reserve themselves.
    MEMORY_BASIC_INFORMATION stack{};
    ::VirtualQuery(&stack, &stack, sizeof(stack));
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    char* reserveTop =
        static_cast<char*>(stack.AllocationBase) + 2 * system.dwPageSize + 64 * 1024;
    MEMORY_BASIC_INFORMATION page{};
    ::VirtualQuery(reserveTop, &page, sizeof(page));
    // A stack committed as it grows keeps its reserve through the
    // guarantee alone; a stack committed whole needs the guard page.
    *static_cast<bool*>(result) =
        page.State != MEM_COMMIT || (page.Protect & PAGE_GUARD) != 0;
    ULONG size = 0;
    ::SetThreadStackGuarantee(&size);
    *static_cast<bool*>(result) = *static_cast<bool*>(result) && size >= 64 * 1024;
    return 0;
}

}  // namespace

TEST(Dump, FrameworkThreadsKeepAStackReserveForTheHandler) {
    bool kept = false;
    HANDLE t = CQvThread::Instance().StartThread(ReserveProbe, &kept, 0);
    ASSERT_NE(nullptr, t);
    ::WaitForSingleObject(t, 10000);
    ::CloseHandle(t);
    EXPECT_TRUE(kept);
}

// The program's folder may be one a standard user can write: a file or a
// link prepared under the dump's name is neither reused nor followed.
TEST(Dump, ADumpFileIsAlwaysNewAndNeverALink) {
    qvtest::TempDir tmp(L"qvdumplink");
    std::wstring canary = tmp / L"canary.txt";
    ASSERT_TRUE(qvtest::WriteFileBytes(canary, "keep", 4));
    std::wstring linked = tmp / L"qvUninstall.exe_1.dmp";
    ASSERT_TRUE(qvtest::MakeLink(linked, canary));
    EXPECT_FALSE(CreateDumpFile(linked.c_str()));
    std::wstring prepared = tmp / L"qvUninstall.exe_2.dmp";
    ASSERT_TRUE(qvtest::WriteFileBytes(prepared, "theirs", 6));
    EXPECT_FALSE(CreateDumpFile(prepared.c_str()));
    qv::ScopedFile fresh = CreateDumpFile((tmp / L"qvUninstall.exe_3.dmp").c_str());
    EXPECT_TRUE(fresh);
    fresh.reset();
    char buf[8] = {};
    DWORD got = 0;
    qv::ScopedFile read(::CreateFileW(canary.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(read);
    ::ReadFile(read.get(), buf, sizeof(buf), &got, nullptr);
    EXPECT_EQ(std::string("keep"), std::string(buf, got));
}
