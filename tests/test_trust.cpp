// Whose word the elevated program takes: only files and folders that no
// one but administrators, the system and its own account can change, judged
// on the objects it opened.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/UninstallData.h"
#include "base/QvTrust.h"
#include "base/QvTrustSeam.h"
#include "base/QvZlib.h"
#include "support/TestUtil.h"

namespace {

using qv::trust::Verdict;

// Owner the test's own account (the default), rights as given.
constexpr wchar_t kEveryoneWrites[] = L"D:(A;;FA;;;BA)(A;;FA;;;SY)(A;;FW;;;WD)";
constexpr wchar_t kAdminsOnly[] = L"D:(A;;FA;;;BA)(A;;FA;;;SY)(A;;FR;;;WD)";

bool Passes(const std::wstring& path, std::wstring* why = nullptr) {
    qv::ScopedFile object(::CreateFileW(path.c_str(), READ_CONTROL,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
    return object && qv::trust::OnlyTrustedCanChange(object.get(), why);
}

class Trust : public ::testing::Test {
protected:
    void TearDown() override { qv::seam::SetElevated(-1); }
};

TEST_F(Trust, TheProgramsOwnAccountAdministratorsAndTheSystemMayChangeWhatItTrusts) {
    qvtest::TempDir dir(L"qvtrust");
    std::wstring file = dir / L"plain.txt";
    ASSERT_TRUE(qvtest::WriteFileBytes(file, "x", 1));
    std::wstring why;
    // Made by this account, with the default security: trusted.
    EXPECT_TRUE(Passes(file, &why)) << why;
    EXPECT_TRUE(Passes(dir.path().substr(0, dir.path().size() - 1), &why)) << why;
    ASSERT_TRUE(qvtest::SetSddl(file, kAdminsOnly));
    EXPECT_TRUE(Passes(file, &why)) << why;
}

// The rule on descriptors in memory: Wine keeps, for a file, only what the
// host's permission bits can hold (an entry for everyone), so the other
// accounts and rights are tried here.
TEST_F(Trust, AnyoneElseWhoMayWriteDeleteOrTakeItIsNot) {
    struct Case {
        const wchar_t* sddl;
        bool trusted, removeTrusted;  // as data, and as a folder others may add to
        const char* who;              // in the reason
    } cases[] = {
        {L"O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;FR;;;WD)", true, true, ""},
        {L"O:SYD:(A;;FA;;;SY)(A;OICIIO;FA;;;WD)", true, true, ""},  // for children only
        {L"O:BAD:(D;;FW;;;WD)(A;;FA;;;BA)", true, true, ""},         // a denial
        {L"O:BAD:(A;;FA;;;BA)(A;;FW;;;WD)", false, true, "S-1-1-0"},
        {L"O:BAD:(A;;FA;;;BA)(A;;0x2;;;BU)", false, true, "S-1-5-32-545"},  // may append
        {L"O:BAD:(A;;FA;;;BA)(A;;SD;;;AU)", false, false, "S-1-5-11"},      // may delete
        {L"O:BAD:(A;;FA;;;BA)(A;;0x40;;;BU)", false, false, "S-1-5-32-545"},  // delete child
        {L"O:BAD:(A;;FA;;;BA)(A;;WD;;;WD)", false, false, "S-1-1-0"},  // may rewrite the DACL
        {L"O:BAD:(A;;FA;;;BA)(A;;WO;;;WD)", false, false, "S-1-1-0"},  // may take it
        {L"O:BAD:(A;;FA;;;BA)(A;;GA;;;S-1-5-21-1-2-3-1001)", false, false, "S-1-5-21-1-2-3-1001"},
        {L"O:BUD:(A;;FA;;;BA)", false, false, "owner S-1-5-32-545"},
        {L"O:BA", false, false, "DACL"},  // none at all: everyone may
    };
    for (const Case& c : cases) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1,
                                                                          &sd, nullptr))
            << c.sddl;
        std::wstring why;
        std::wstring who(c.who, c.who + std::strlen(c.who));
        EXPECT_EQ(c.trusted, qv::trust::DescriptorLetsOnlyTrustedChange(sd, false, &why))
            << c.sddl;
        if (!c.trusted) EXPECT_NE(std::wstring::npos, why.find(who)) << c.sddl << ": " << why;
        EXPECT_EQ(c.removeTrusted, qv::trust::DescriptorLetsOnlyTrustedChange(sd, true, &why))
            << c.sddl;
        ::LocalFree(sd);
    }
    // On a file, through its handle: an entry for everyone is what Wine
    // keeps of a DACL (the host's o+w).
    qvtest::TempDir dir(L"qvtrust");
    std::wstring file = dir / L"plain.txt";
    ASSERT_TRUE(qvtest::WriteFileBytes(file, "x", 1));
    ASSERT_TRUE(qvtest::SetSddl(file, kEveryoneWrites));
    std::wstring why;
    EXPECT_FALSE(Passes(file, &why));
    EXPECT_NE(std::wstring::npos, why.find(L"S-1-1-0")) << why;
}

// The installation as the data file sees it: <root>\parent\product\file.
struct Install {
    qvtest::TempDir root{L"qvtrust"};
    std::wstring parent = root / L"parent";
    std::wstring product = parent + L"\\product";
    std::wstring file = product + L"\\" + kUninstallDataFile;

    Install() {
        ::CreateDirectoryW(parent.c_str(), nullptr);
        ::CreateDirectoryW(product.c_str(), nullptr);
        UninstallHeader header{};
        wcscpy(header.productName, L"塔洛看图");
        UninstallEntry entry{};
        entry.isFile = 1;
        wcscpy(entry.path, L"C:\\Program Files\\Other Vendor\\important.dll");
        WriteUninstallFile(file.c_str(), header, &entry, 1, nullptr, 0);
    }
    Verdict Open(std::wstring* why = nullptr) {
        qv::ScopedFile held;
        Verdict verdict = qv::trust::OpenTrusted(product.c_str(), kUninstallDataFile, &held, why);
        EXPECT_EQ(verdict == Verdict::Trusted, static_cast<bool>(held));
        return verdict;
    }
};

TEST_F(Trust, AnElevatedProgramReadsItsDataFileOnlyWhenFileFolderAndParentAreKept) {
    qv::seam::SetElevated(1);
    {
        Install in;
        std::wstring why;
        EXPECT_EQ(Verdict::Trusted, in.Open(&why)) << why;
        UninstallHeader header{};
        std::vector<UninstallEntry> entries, shortcuts;
        EXPECT_EQ(UninstallSource::Read,
                  LoadUninstallData(in.product.c_str(), &header, &entries, &shortcuts, &why))
            << why;
        EXPECT_STREQ(L"塔洛看图", header.productName);
        EXPECT_EQ(1u, entries.size());
    }
    // Each of the three, writable by everyone, is enough to refuse the file;
    // what was refused is never read.
    for (int which = 0; which < 3; ++which) {
        Install in;
        const std::wstring& object = which == 0 ? in.file : which == 1 ? in.product : in.parent;
        ASSERT_TRUE(qvtest::SetSddl(object, kEveryoneWrites));
        std::wstring why;
        EXPECT_EQ(Verdict::Untrusted, in.Open(&why)) << object;
        EXPECT_NE(std::wstring::npos, why.find(L"S-1-1-0")) << why;
        UninstallHeader header{};
        std::vector<UninstallEntry> entries, shortcuts;
        EXPECT_EQ(UninstallSource::Untrusted,
                  LoadUninstallData(in.product.c_str(), &header, &entries, &shortcuts));
        EXPECT_EQ(L'\0', header.productName[0]);
        EXPECT_TRUE(entries.empty());
    }
    {
        Install in;
        ::DeleteFileW(in.file.c_str());
        EXPECT_EQ(Verdict::Missing, in.Open());
        ASSERT_TRUE(qvtest::SetSddl(in.product, kEveryoneWrites));
        EXPECT_EQ(Verdict::Untrusted, in.Open()) << "a folder others may write could get one";
    }
}

TEST_F(Trust, AProgramThatIsNotElevatedTakesWhatItsUserCouldHaveWrittenAnyway) {
    qv::seam::SetElevated(0);
    Install in;
    ASSERT_TRUE(qvtest::SetSddl(in.product, kEveryoneWrites));
    EXPECT_EQ(Verdict::Trusted, in.Open());
}

// The program's own folder, owned by the account it runs as (as under
// Wine, where every file belongs to it), is no reason to go without zlib.
TEST_F(Trust, AnElevatedProgramLoadsZlibBesideItWhenOnlyItsOwnAccountCouldHavePutItThere) {
    qv::seam::SetElevated(1);
    CQvZlib zlib;
    EXPECT_EQ(S_OK, zlib.InitZlib(nullptr));
}

// A data file of any size or count is read in bounded time and memory: one
// far larger than any product's is taken for damaged, a count larger than
// the records reserves nothing for those that are not there.
TEST_F(Trust, MonstrousDataFilesAreRefusedOrReadWithoutExhaustingMemory) {
    qvtest::TempDir dir(L"qvdatsize");
    UninstallHeader header{};
    std::vector<char> image(sizeof(header) + 4);
    int count = 0x7FFFFFFF;
    std::memcpy(image.data() + sizeof(header), &count, 4);
    const std::wstring huge = dir / L"huge.dat";
    {
        // Sparse where the file system allows: 1.5 GB that cost nothing.
        qv::ScopedFile file(::CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), image.data(), static_cast<DWORD>(image.size()),
                                &written, nullptr));
        DWORD ignored = 0;
        ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
        LARGE_INTEGER size{};
        size.QuadPart = 1536LL * 1024 * 1024;
        ASSERT_TRUE(::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(file.get()));
    }
    std::vector<UninstallEntry> entries, shortcuts;
    EXPECT_FALSE(ReadUninstallFile(huge.c_str(), &header, &entries, &shortcuts));
    // Just over the bound is refused too; at the bound it is read.
    const std::wstring big = dir / L"big.dat";
    image.resize(qvformat::kMaxFileSize + 1);
    ASSERT_TRUE(qvtest::WriteFileBytes(big, image.data(), image.size()));
    EXPECT_FALSE(ReadUninstallFile(big.c_str(), &header, &entries, &shortcuts));
    image.resize(qvformat::kMaxFileSize);
    ASSERT_TRUE(qvtest::WriteFileBytes(big, image.data(), image.size()));
    EXPECT_TRUE(ReadUninstallFile(big.c_str(), &header, &entries, &shortcuts));
    EXPECT_LE(entries.capacity(), qvformat::kMaxFileSize / sizeof(UninstallEntry));
}

}  // namespace
