// Files a running program keeps open: noted at their folder's final path,
// scheduled for removal at restart with their folders, only where no one
// but administrators could change the way to them before then.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/StayedFiles.h"
#include "base/QvScoped.h"
#include "support/TestUtil.h"

namespace {

constexpr wchar_t kEveryoneWrites[] = L"D:(A;;FA;;;BA)(A;;FA;;;SY)(A;;FW;;;WD)";

qv::ScopedFile OpenFolder(const std::wstring& path) {
    return qv::ScopedFile(::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | READ_CONTROL,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// What is waiting for the next restart, names and empty targets in one text.
std::wstring Pending() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager",
                        0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return L"";
    DWORD bytes = 0;
    std::wstring text;
    if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &bytes) ==
            ERROR_SUCCESS &&
        bytes > 0) {
        text.resize(bytes / sizeof(wchar_t));
        ::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                           reinterpret_cast<BYTE*>(text.data()), &bytes);
        for (wchar_t& c : text)
            if (c == L'\0') c = L'|';
    }
    ::RegCloseKey(key);
    return text;
}

struct Held {
    explicit Held(const std::wstring& path)
        : file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr)) {}
    qv::ScopedFile file;
};

}  // namespace

TEST(StayedFiles, AFileHeldInAFolderOnlyAdministratorsChangeGoesAtRestartWithItsFolders) {
    qvtest::TempDir tmp(L"qvstay");
    const std::wstring product = tmp / L"product", sub = product + L"\\sub";
    ::CreateDirectoryW(product.c_str(), nullptr);
    ::CreateDirectoryW(sub.c_str(), nullptr);
    ASSERT_TRUE(qvtest::WriteFileBytes(sub + L"\\kept-open.dll", "x", 1));
    Held held(sub + L"\\kept-open.dll");
    ASSERT_TRUE(held.file);
    qv::ScopedFile root = OpenFolder(product), in = OpenFolder(sub);
    ASSERT_TRUE(root && in);

    qv::StayedFiles stayed;
    stayed.Add(in.get(), L"kept-open.dll");
    ASSERT_EQ(1u, stayed.Paths().size());
    EXPECT_NE(std::wstring::npos, stayed.Paths()[0].find(L"\\product\\sub\\kept-open.dll"))
        << stayed.Paths()[0];
    stayed.ScheduleBelow(root.get());
    EXPECT_EQ(1, stayed.Scheduled());
    const std::wstring pending = Pending();
    // The file first, then its folder, then the product's: deepest first,
    // each to be removed (an empty target). Other tests of this run may
    // have left entries of their own: these are found by full path.
    const std::wstring at = stayed.Paths()[0];
    const std::wstring heldIn = at.substr(0, at.rfind(L'\\'));
    const std::wstring productPath = heldIn.substr(0, heldIn.rfind(L'\\'));
    const size_t file = pending.find(at + L"|");
    const size_t folder = pending.find(heldIn + L"|");
    const size_t top = pending.find(productPath + L"|");
    ASSERT_NE(std::wstring::npos, file) << pending;
    ASSERT_NE(std::wstring::npos, folder) << pending;
    ASSERT_NE(std::wstring::npos, top) << pending;
    EXPECT_LT(file, folder);
    EXPECT_LT(folder, top);
    // Offered once: a second call schedules nothing again.
    stayed.ScheduleBelow(root.get());
    EXPECT_EQ(pending, Pending());
}

TEST(StayedFiles, NothingIsScheduledWhereOthersCouldChangeTheWayToIt) {
    for (int which = 0; which < 2; ++which) {  // the product folder, then its parent
        qvtest::TempDir tmp(L"qvstay");
        const std::wstring parent = tmp / L"others", product = parent + L"\\product";
        ::CreateDirectoryW(parent.c_str(), nullptr);
        ::CreateDirectoryW(product.c_str(), nullptr);
        ASSERT_TRUE(qvtest::WriteFileBytes(product + L"\\kept.dll", "x", 1));
        ASSERT_TRUE(qvtest::SetSddl(which == 0 ? product : parent, kEveryoneWrites));
        Held held(product + L"\\kept.dll");
        qv::ScopedFile root = OpenFolder(product);
        ASSERT_TRUE(held.file && root);
        const std::wstring before = Pending();
        qv::StayedFiles stayed;
        stayed.Add(root.get(), L"kept.dll");
        stayed.ScheduleBelow(root.get());
        EXPECT_EQ(1u, stayed.Paths().size()) << "still named to the user";
        EXPECT_EQ(0, stayed.Scheduled());
        EXPECT_EQ(before, Pending()) << which;
    }
}

TEST(StayedFiles, TheNoticeNamesTheFirstFewFiles) {
    const std::vector<std::wstring> paths = {L"C:\\p\\a.dll", L"C:\\p\\b.dll", L"C:\\p\\c.dll",
                                             L"C:\\p\\d.dll"};
    const std::wstring text = qv::DescribeStayed(paths, 3);
    EXPECT_EQ(0u, text.find(L"a.dll\nb.dll\nc.dll\n……\n")) << text;
    EXPECT_EQ(std::wstring::npos, text.find(L"d.dll"));
}
