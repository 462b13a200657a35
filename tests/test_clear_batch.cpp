// The self-delete batch's text under the code pages our users run: what
// cmd reads must be exactly the paths the checks passed, or no line at all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UninstallTestUtil.h"
#include "ClearBatchCheck.h"
#include "app/ClearBatch.h"

using namespace uitest;

namespace {

using batchcheck::CodePages;
using batchcheck::Read;
// Western, Japanese and Chinese Windows: ANSI and the OEM page cmd reads.
const CodePages kPages[] = {{1252, 850}, {1252, 437}, {932, 932}, {936, 936}};

// The batch holds the fixed lines, and a del or rd line only if it names
// exactly the given path or, for a path that exists, its short form.
void ExpectOnlyExactPaths(const std::string& bytes, const std::wstring& program,
                          const std::wstring& dir, CodePages cp, bool* hasRd = nullptr) {
    for (const std::wstring& line : batchcheck::UnsafeLines(bytes, program, dir, cp, hasRd))
        ADD_FAILURE() << "code page " << cp.ansi << ": unsafe line " << line;
}

}  // namespace

// Best fit would write "%", "\"", "." and "\" for these look-alikes: an rd
// whose %windir% expands to the Windows folder, ".." climbing out of the
// product, a quote that ends the path and starts a command.
TEST(ClearBatchText, LookAlikesNeverBecomeSyntaxInAnyCodePage) {
    const std::wstring dirs[] = {
        L"C:\\Talo\\\uFF05windir\uFF05",            // full-width percent signs
        L"C:\\Talo\\a\uFF02&rd C:\\Windows&\uFF02",  // full-width quotes
        L"C:\\Talo\\\uFF0E\uFF0E\\\uFF0E\uFF0E\\Windows",  // full-width full stops
        L"C:\\Talo\u2216..\u2216Windows",            // set minus for backslashes
        L"C:\\Talo\\\u00A5..\u00A5Windows",          // yen sign: "\" in code page 932
        L"C:\\Talo\\\u00A5\u00A5server\u00A5share",
        L"C:\\Talo\\\u0130\u00DF\u00E9",             // no spelling in 932 or 936
    };
    const std::wstring programs[] = {
        L"C:\\Talo\\\uFF02 & rd /s /q C:\\ & \uFF02\\qvUninstall.exe",
        L"C:\\Talo\\\uFF05ComSpec\uFF05\\qvUninstall.exe",
        L"C:\\Talo\\\u00A5..\u00A5qvUninstall.exe",
    };
    for (CodePages cp : kPages) {
        for (const std::wstring& dir : dirs)
            ExpectOnlyExactPaths(batchcheck::Compose(L"C:\\a\\qvUninstall.exe", dir.c_str(),
                                                       cp.ansi, cp.oem),
                                 L"C:\\a\\qvUninstall.exe", dir, cp);
        for (const std::wstring& program : programs)
            ExpectOnlyExactPaths(batchcheck::Compose(program.c_str(), nullptr, cp.ansi, cp.oem),
                                 program, L"", cp);
    }
}

TEST(ClearBatchText, PathsThatBothCodePagesSpellGoInAsTheyAre) {
    std::wstring dir = L"C:\\Program Files\\塔洛软件\\塔洛看图";
    std::wstring program = dir + L"\\qvUninstall.exe";
    std::string text = batchcheck::Compose(program.c_str(), dir.c_str(), 936, 936);
    EXPECT_EQ(Read(text, 936), L"@ echo off\r\n" + batchcheck::ProgramLines(program) + L"rd \"" +
                                   dir + L"\"\r\ndel %0 & rd \"%~dp0\"");
    // Code page 1252 spells "é", but the OEM page 437 reads the byte as
    // another letter: cmd would look for another folder.
    std::string western =
        batchcheck::Compose(L"C:\\Caf\u00E9\\q.exe", L"C:\\Caf\u00E9", 1252, 437);
    EXPECT_EQ("@ echo off\r\ndel %0 & rd \"%~dp0\"", western);
    EXPECT_NE(std::string::npos,
              batchcheck::Compose(L"C:\\Caf\u00E9\\q.exe", L"C:\\Caf\u00E9", 1252, 1252)
                  .find("rd \"C:\\Caf\xE9\""));
}

TEST(ClearBatchText, AnExistingFolderTheCodePageCannotSpellUsesItsShortForm) {
    qvtest::TempDir tmp(L"qvbatch");
    std::wstring dir = tmp / L"\uFF05windir\uFF05 \u0130";
    std::wstring program = Slash(dir) + L"qvUninstall.exe";
    ASSERT_TRUE(MakeFile(program));
    for (CodePages cp : kPages) {
        bool hasRd = false;
        std::string text = batchcheck::Compose(program.c_str(), dir.c_str(), cp.ansi, cp.oem);
        ExpectOnlyExactPaths(text, program, dir, cp, &hasRd);
        wchar_t shortName[MAX_PATH] = {};
        // Where the file system keeps short names, the folder is still removed.
        if (::GetShortPathNameW(dir.c_str(), shortName, MAX_PATH) &&
            NoSlash(shortName) != NoSlash(dir))
            EXPECT_TRUE(hasRd) << cp.ansi;
    }
}

TEST(ClearBatchText, SyntaxAndUnsafeFoldersStayOut) {
    std::string noRd = "@ echo off\r\n" + batchcheck::ProgramLinesA("C:\\a\\q.exe") +
                       "del %0 & rd \"%~dp0\"";
    for (const wchar_t* dir :
         {L"C:\\a\"&rd C:\\", L"C:\\100%\\", L"C:\\a\r\nrd C:\\", L"C:\\a\nx", L"C:\\a!windir!",
          L"C:\\a\tb", L"C:\\a\\..\\Windows", L"C:\\", L"\\\\server\\share\\product", L"relative"})
        for (CodePages cp : kPages)
            EXPECT_EQ(noRd, batchcheck::Compose(L"C:\\a\\q.exe", dir, cp.ansi, cp.oem)) << dir;
    // cmd reads "%%" in a batch as one percent sign.
    EXPECT_EQ("@ echo off\r\n" + batchcheck::ProgramLinesA("C:\\100%%\\q.exe") +
                  "del %0 & rd \"%~dp0\"",
              batchcheck::Compose(L"C:\\100%\\q.exe", nullptr, 1252, 850));
}

// The program's path goes into the batch only where cmd reads it as a path:
// a quote would end it, "!" is read by delayed expansion, a control
// character would end the line. "%" is doubled and "&" stays inside the
// quotes (ProgramPathsCmdReadsAsPaths in test_uninstall_selfdelete runs
// them). The checker refuses what the batch must never hold.
TEST(ClearBatchText, ProgramPathsCmdWouldReadAsCodeGetNoLines) {
    for (const wchar_t* program :
         {L"C:\\a\"&rd C:\\\\x\\q.exe", L"C:\\a!windir!\\q.exe", L"C:\\a\x01b\\q.exe",
          L"C:\\a\r\nrd C:\\\\q.exe", L"C:\\a\tb\\q.exe"})
        for (CodePages cp : kPages) {
            std::string text = batchcheck::Compose(program, nullptr, cp.ansi, cp.oem);
            EXPECT_EQ("@ echo off\r\ndel %0 & rd \"%~dp0\"", text) << cp.ansi;
        }
    EXPECT_NE(std::string::npos,
              batchcheck::Compose(L"C:\\a&b\\100%\\q.exe", nullptr, 1252, 850)
                  .find("del \"C:\\a&b\\100%%\\q.exe\""));
    // Lines a careless batch could hold: the checker names each.
    const std::wstring program = L"C:\\a\\q.exe";
    for (const char* line : {"del \"C:\\a\"&rd C:\\x\"", "del \"C:\\a!x!\\q.exe\"",
                             "del \"C:\\a\\%windir%\"", "del \"C:\\A\\Q.EXE\" & rd C:\\",
                             "rd \"C:\\a\\%x%\"", "taskkill /f /pid 1234"}) {
        std::string bytes = std::string("@ echo off\r\nset qvn=0\r\n:qvwait\r\n") + line +
                            "\r\ndel %0 & rd \"%~dp0\"";
        EXPECT_FALSE(batchcheck::UnsafeLines(bytes, program, L"C:\\a", {1252, 1252}).empty())
            << line;
    }
    std::string good = "@ echo off\r\n" + batchcheck::ProgramLinesA("C:\\a\\q.exe") +
                       "rd \"C:\\a\"\r\ndel %0 & rd \"%~dp0\"";
    EXPECT_TRUE(batchcheck::UnsafeLines(good, program, L"C:\\a", {1252, 1252}).empty());
}
