// Hostile data files: the engine run on a real file cut at every byte and on
// crafted and random records, with canaries outside the product that must
// survive every run; and a mutation run of the engine's own reader.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "ReliabilityUtil.h"
#include "UninstallTestUtil.h"
#include "base/QvNarrow.h"
#include "base/QvScoped.h"
#include "base/QvUtil.h"

using namespace uitest;
using reliability::Figure;
using reliability::Full;
using reliability::Rng;

namespace {

constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring Csidl(int csidl) {
    wchar_t buf[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf);
    return Slash(buf);
}

bool HasKey(const std::wstring& name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kUninstallKey + name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

void MakeKey(const std::wstring& name) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kUninstallKey + name).c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS)
        ::RegCloseKey(key);
}

// Where one run happens: root is the folder above the engine's own.
struct Scene {
    std::wstring root, programs, desktop, drive;

    Scene() {
        wchar_t own[MAX_PATH] = {};
        GetCurPath(own);
        std::wstring app = NoSlash(own);
        root = app.substr(0, app.rfind(L'\\') + 1);
        programs = Csidl(CSIDL_COMMON_PROGRAMS);
        desktop = Csidl(CSIDL_COMMON_DESKTOPDIRECTORY);
        drive = root.substr(0, 3);
    }
    std::wstring Tag() const { return L"qvr1-" + std::to_wstring(::GetCurrentProcessId()); }

    // Files that the product lists or that stand where its names lead.
    void MakeProduct() const {
        for (const wchar_t* f : {L"product\\a.txt", L"product\\sub\\b.txt", L"product\\.dot\\c.txt",
                                 L"c.txt", L"lnk\\a.lnk"})
            MakeFile(root + f);
        MakeFile(programs + L"QvR1Menu\\x.lnk");
        MakeFile(desktop + L"QvR1.lnk");
        MakeKey(L"QvR1Key");
    }

    // Files outside the product, next to it and named like cut names of it.
    std::vector<std::wstring> Canaries() const {
        return {root + L"outside\\keep.txt", root + L"outside\\sub\\k.txt",
                root + L"prod\\keep.txt", root + L"c.tx", root + L"app.keep",
                programs + L"QvR1Men\\keep.txt", programs + Tag() + L".txt",
                desktop + L"QvR.lnk", desktop + Tag() + L".txt", drive + Tag() + L".txt"};
    }
    std::vector<std::wstring> KeyCanaries() const { return {L"QvR1", L"QvR1Canary"}; }

    void RemoveOutsideRoot() const {
        for (const std::wstring& f : Canaries())
            if (f.rfind(root, 0) != 0) ::DeleteFileW(f.c_str());
        ::RemoveDirectoryW((programs + L"QvR1Men").c_str());
        qvtest::RemoveTree(programs + L"QvR1Menu");
        ::DeleteFileW((desktop + L"QvR1.lnk").c_str());
        for (const std::wstring& k : KeyCanaries())
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kUninstallKey + k).c_str());
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstallKey) + L"QvR1Key").c_str());
    }
};

UninstallHeader Header(const std::wstring& regKey, const std::wstring& product,
                       const std::wstring& startMenu, const std::wstring& installDir) {
    UninstallHeader h{};
    SetField(h.regKeyName, regKey);
    SetField(h.productName, product);
    SetField(h.startMenuFolder, startMenu);
    SetField(h.installDir, installDir);
    return h;
}

void Put(std::string* out, const void* data, size_t size) {
    out->append(static_cast<const char*>(data), size);
}

void PutCount(std::string* out, int count) { Put(out, &count, sizeof(count)); }

std::string Bytes(const UninstallHeader& h, const std::vector<UninstallEntry>& entries,
                  const std::vector<UninstallEntry>& shortcuts) {
    std::string out;
    Put(&out, &h, sizeof(h));
    if (h.installDir[0] == L'\0') {
        PutCount(&out, static_cast<int>(entries.size()));
        for (const UninstallEntry& e : entries) Put(&out, &e, sizeof(e));
    }
    PutCount(&out, static_cast<int>(shortcuts.size()));
    for (const UninstallEntry& e : shortcuts) Put(&out, &e, sizeof(e));
    return out;
}

// The real file of the product above.
std::string RealFile(const Scene& s) {
    return Bytes(Header(L"QvR1Key", L"QvR1", L"QvR1Menu", L""),
                 {Entry(0, s.root + L"product\\"), Entry(1, s.root + L"c.txt")},
                 {Entry(1, s.root + L"lnk\\a.lnk")});
}

// Paths that reach outside the product only through a spelling the engine
// must refuse (roots, "..", relative, network, device and non-canonical
// forms) or a protected folder. A plain path to a canary is not among them:
// listing a folder is what allows its deletion.
std::vector<std::wstring> HostilePaths(const Scene& s) {
    std::wstring tail = s.root.substr(3);
    std::wstring out = s.root + L"outside";
    return {L"C:\\", L"C:", L"\\", L"", L"C:\\..", s.drive,
            s.root + L"product\\..\\outside\\", s.root + L"product\\..\\outside\\keep.txt",
            s.root + L"product\\..\\..\\", L"outside\\", L"outside\\keep.txt", L"..\\outside\\",
            L".\\outside\\", L"\\\\localhost\\C$\\" + tail + L"outside\\",
            L"\\\\127.0.0.1\\c$\\" + tail + L"outside\\keep.txt", L"//localhost/C$/" + tail + L"outside/",
            L"\\\\?\\" + out + L"\\", L"\\\\.\\" + out + L"\\", L"\\\\?\\UNC\\localhost\\C$\\" + tail,
            out + L"\\.\\", out + L" \\", out + L".\\",
            s.programs, s.desktop, NoSlash(s.programs), s.root + L"product\\\\..\\outside\\",
            Csidl(CSIDL_WINDOWS), Csidl(CSIDL_PROFILE)};
}

std::vector<std::string> Cases(const Scene& s, bool full) {
    std::vector<std::string> cases;
    std::string real = RealFile(s);
    // The real file cut at every byte (a stride and the boundaries when small).
    for (size_t n = 0; n <= real.size(); ++n) {
        size_t past = n < 764 ? 0 : (n - 764) % 524;
        bool boundary = n < 4 || (n >= 756 && n <= 770) || past < 3 || past > 521;
        if (full || boundary || n % 37 == 0) cases.push_back(real.substr(0, n));
    }
    std::vector<std::wstring> paths = HostilePaths(s);
    // Each hostile path as a folder record, a file record and a shortcut.
    for (const std::wstring& p : paths) {
        UninstallHeader h = Header(L"QvR1Key", L"QvR1", L"QvR1Menu", L"");
        cases.push_back(Bytes(h, {Entry(0, p)}, {}));
        cases.push_back(Bytes(h, {Entry(1, p)}, {}));
        cases.push_back(Bytes(h, {}, {Entry(1, p)}));
    }
    // Header names that climb out of their folders.
    for (const std::wstring& bad : {std::wstring(L".."), std::wstring(L"..\\.."), std::wstring(L"\\"),
                                    std::wstring(L"C:\\"), std::wstring(L"..\\QvR1Men"),
                                    std::wstring(L"QvR1\\..\\QvR1Canary"), std::wstring(L".")}) {
        cases.push_back(Bytes(Header(bad, L"QvR1", L"QvR1Menu", L""), {}, {}));
        cases.push_back(Bytes(Header(L"QvR1Key", bad, L"QvR1Menu", L""), {}, {}));
        cases.push_back(Bytes(Header(L"QvR1Key", L"QvR1", bad, L""), {}, {}));
        cases.push_back(Bytes(Header(L"QvR1Key", L"QvR1", L"QvR1Menu", bad), {}, {}));
    }
    for (const std::wstring& dir : {std::wstring(L"C:\\"), s.root, std::wstring(L"\\\\server\\share")})
        cases.push_back(Bytes(Header(L"QvR1Key", L"QvR1", L"QvR1Menu", dir), {}, {}));
    // Counts that lie, and a path without its terminator.
    UninstallHeader plain = Header(L"QvR1Key", L"QvR1", L"QvR1Menu", L"");
    UninstallEntry one = Entry(0, s.root + L"product\\");
    for (int count : {INT_MAX, -1, INT_MIN, 2, 1000000}) {
        std::string b;
        Put(&b, &plain, sizeof(plain));
        PutCount(&b, count);
        Put(&b, &one, sizeof(one));
        cases.push_back(b);
        cases.push_back(b + std::string(4, '\xff'));
    }
    UninstallEntry open{};
    std::wstring longPath = s.root + L"outside\\";
    for (size_t i = 0; i < MAX_PATH; ++i) open.path[i] = i < longPath.size() ? longPath[i] : L'\\';
    cases.push_back(Bytes(plain, {open, one}, {open}));
    // Garbage, raw and in the shape of records.
    Rng rng{0x5eed};
    int garbage = full ? 3000 : 60;
    for (int i = 0; i < garbage; ++i) {
        std::string b;
        if (i % 2 == 0) {
            size_t n = rng.Below(4000);
            for (size_t k = 0; k < n; ++k) b.push_back(static_cast<char>(rng.Next()));
        } else {
            std::vector<UninstallEntry> list, links;
            for (unsigned k = rng.Below(4); k; --k)
                list.push_back(Entry(static_cast<int>(rng.Below(3)), paths[rng.Below(paths.size())]));
            for (unsigned k = rng.Below(3); k; --k)
                links.push_back(Entry(1, paths[rng.Below(paths.size())]));
            b = Bytes(Header(paths[rng.Below(paths.size())], L"QvR1", L"QvR1Menu",
                             rng.Below(4) ? L"" : paths[rng.Below(paths.size())]),
                      list, links);
            if (rng.Below(2)) b.resize(rng.Below(static_cast<unsigned>(b.size()) + 1));
        }
        cases.push_back(b);
    }
    return cases;
}

}  // namespace

// Runs the cases from QV_R1_FROM on; after each, the index reached and the
// canaries lost so far go to the results file, so that a crash is counted
// and the parent goes on after it.
QV_CHILD(r1_runs) {
    Scene s;
    wchar_t from[32] = L"0";
    ::GetEnvironmentVariableW(L"QV_R1_FROM", from, 32);
    std::vector<std::string> cases = Cases(s, reliability::Full());
    wchar_t own[MAX_PATH] = {};
    GetCurPath(own);
    std::wstring dat = std::wstring(own) + L"qvUninstall.dat";
    // Relative records resolve against the current folder: make it the one
    // that holds the canaries.
    ::SetCurrentDirectoryW(s.root.c_str());
    long lost = 0;
    std::string firstLost;
    ProgressRecorder rec;
    for (size_t i = std::wcstoul(from, nullptr, 10); i < cases.size(); ++i) {
        WriteResults("at " + std::to_string(i) + " lost " + std::to_string(lost) + " " + firstLost);
        for (const std::wstring& c : s.Canaries()) MakeFile(c, "keep");
        for (const std::wstring& k : s.KeyCanaries()) MakeKey(k);
        s.MakeProduct();
        qvtest::WriteFileBytes(dat, cases[i].data(), cases[i].size());
        CQvUninstaller engine;
        engine.StartUninstall(rec.hwnd, 0);
        for (const std::wstring& c : s.Canaries())
            if (!Exists(c)) {
                ++lost;
                if (firstLost.empty()) firstLost = "case " + std::to_string(i) + " " + qv::Narrow(c, CP_UTF8);
            }
        for (const std::wstring& k : s.KeyCanaries())
            if (!HasKey(k)) {
                ++lost;
                if (firstLost.empty()) firstLost = "case " + std::to_string(i) + " key " + qv::Narrow(k, CP_UTF8);
            }
    }
    s.RemoveOutsideRoot();
    WriteResults("done " + std::to_string(cases.size()) + " lost " + std::to_string(lost) + " " + firstLost);
    return 0;
}

TEST_F(EngineTest, R1_HostileDataFilesNeverReachOutsideTheProduct) {
    long runs = 0, crashes = 0, lost = 0;
    size_t from = 0;
    std::string detail;
    for (int attempt = 0; attempt < 50; ++attempt) {
        ::SetEnvironmentVariableW(L"QV_R1_FROM", std::to_wstring(from).c_str());
        ::DeleteFileW(results.c_str());
        int code = RunCopy(exe, "r1_runs", 1800000);
        std::string got = ReadAll(results);
        size_t at = 0;
        long lostSoFar = 0;
        char word[8] = {};
        if (std::sscanf(got.c_str(), "%7s %zu lost %ld", word, &at, &lostSoFar) != 3) break;
        size_t note = got.find(' ', got.find("lost ") + 5);
        if (note != std::string::npos && detail.empty()) detail = got.substr(note + 1);
        if (std::string(word) == "done" && code == 0) {
            runs = static_cast<long>(at);
            lost += lostSoFar;
            break;
        }
        // The case at `at` crashed the engine: counted, and the run goes on
        // after it.
        ADD_FAILURE() << "case " << at << " ended the engine with code " << code;
        ++crashes;
        lost += lostSoFar;
        from = at + 1;
    }
    ::SetEnvironmentVariableW(L"QV_R1_FROM", nullptr);
    Scene().RemoveOutsideRoot();
    EXPECT_GT(runs, 100);
    EXPECT_EQ(0, lost) << detail;
    Figure("R1 hostile data files", runs, crashes, lost, "cuts at every byte, crafted and random records");
}

// The engine's own reader on mutated real files: no fault, and nothing it
// returns breaks what the engine relies on.
TEST(ReaderMutation, F2_MutatedFilesReadSafely) {
    qvtest::TempDir tmp(L"qvmut");
    Scene s;
    std::string seeds[] = {RealFile(s),
                           Bytes(Header(L"k", L"p", L"m", L"C:\\Talo"), {}, {Entry(1, L"C:\\a.lnk")})};
    std::wstring path = tmp / L"m.dat";
    Rng rng{42};
    const long runs = Full() ? 100000 : 3000;
    long broken = 0;
    for (long i = 0; i < runs; ++i) {
        std::string b = seeds[i % 2];
        for (unsigned m = 1 + rng.Below(8); m; --m) {
            size_t at = b.empty() ? 0 : rng.Below(static_cast<unsigned>(b.size()));
            switch (rng.Below(6)) {
            case 0: if (!b.empty()) b[at] ^= static_cast<char>(1u << rng.Below(8)); break;
            case 1: if (!b.empty()) b[at] = static_cast<char>(rng.Next()); break;
            case 2: b.resize(at); break;
            case 3: b.insert(at, std::string(1 + rng.Below(600), static_cast<char>(rng.Next()))); break;
            case 4: {  // an interesting integer where a count may be
                const int values[] = {0, -1, 1, INT_MAX, INT_MIN, 0x10000, 524};
                int v = values[rng.Below(7)];
                if (at + 4 <= b.size()) std::memcpy(&b[at], &v, 4);
                break;
            }
            default: if (!b.empty()) b[at] = 0; break;
            }
        }
        qvtest::WriteFileBytes(path, b.data(), b.size());
        UninstallHeader h{};
        std::vector<UninstallEntry> entries, shortcuts;
        if (!ReadUninstallFile(path.c_str(), &h, &entries, &shortcuts)) { ++broken; continue; }
        bool ok = entries.size() + shortcuts.size() <= b.size() / sizeof(UninstallEntry);
        if (b.size() < sizeof(UninstallHeader)) {
            UninstallHeader zero{};
            ok = ok && std::memcmp(&h, &zero, sizeof(h)) == 0;
        }
        if (FieldText(h.installDir)[0]) ok = ok && entries.empty();
        for (const auto* list : {&entries, &shortcuts})
            for (const UninstallEntry& e : *list) ok = ok && FieldText(e.path)[0] != L'\0';
        if (!ok) {
            ++broken;
            ADD_FAILURE() << "mutation " << i << " broke the reader's promises";
        }
    }
    Figure("F2 engine reader, mutated", runs, 0, 0, std::to_string(broken) + " broken results");
}

// Hostile sizes and counts: a sparse file of 1.5 GB, one just over the
// bound, twenty thousand records, counts of INT_MAX over a short file and
// negative counts. The reader refuses what is over the bound, reads the
// rest in one pass, and reserves no more than the bytes can hold. The
// figure gives the slowest read, for scale (no bound is asserted on time).
TEST(ReaderSizes, R21_HostileSizesAndCountsAreReadInBoundedMemory) {
    qvtest::TempDir tmp(L"qvsize");
    struct Case {
        const char* name;
        long long size;  // total bytes; the tail beyond the image is zero
        int count;
        bool readable;
    } cases[] = {
        {"sparse 1.5 GB, count INT_MAX", 1536LL << 20, INT_MAX, false},
        {"bound + 1 byte", static_cast<long long>(qvformat::kMaxFileSize) + 1, 0, false},
        {"20,000 records", 760 + 4 + 20000LL * 524, 20000, false},
        {"count INT_MAX, 1,000 records", 760 + 4 + 1000LL * 524, INT_MAX, true},
        {"count -1", 760 + 4 + 524, -1, true},
        {"count INT_MIN", 760 + 4, INT_MIN, true},
    };
    const long rounds = Full() ? 20 : 2;
    long runs = 0, wrong = 0;
    double slowestMs = 0;
    for (long r = 0; r < rounds; ++r) {
        for (const Case& c : cases) {
            std::wstring path = tmp / L"size.dat";
            {
                qv::ScopedFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
                ASSERT_TRUE(file);
                std::string image(764, '\0');  // an entry-list header and the count
                std::memcpy(&image[760], &c.count, 4);
                DWORD written = 0;
                ::WriteFile(file.get(), image.data(), 764, &written, nullptr);
                std::string record(524, '\0');
                record[0] = 1;
                record[4] = 'C';
                record[6] = ':';
                record[8] = '\\';
                record[10] = 'x';
                long long records = c.size > 764 ? (c.size - 764) / 524 : 0;
                if (c.size < (8LL << 20))
                    for (long long i = 0; i < records; ++i)
                        ::WriteFile(file.get(), record.data(), 524, &written, nullptr);
                DWORD ignored = 0;
                ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored,
                                  nullptr);
                LARGE_INTEGER end{};
                end.QuadPart = c.size;
                ::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN);
                ::SetEndOfFile(file.get());
            }
            UninstallHeader h{};
            std::vector<UninstallEntry> entries, shortcuts;
            LARGE_INTEGER t0{}, t1{}, freq{};
            ::QueryPerformanceFrequency(&freq);
            ::QueryPerformanceCounter(&t0);
            bool read = ReadUninstallFile(path.c_str(), &h, &entries, &shortcuts);
            ::QueryPerformanceCounter(&t1);
            double ms = 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) /
                        static_cast<double>(freq.QuadPart);
            if (ms > slowestMs) slowestMs = ms;
            ++runs;
            bool ok = read == c.readable &&
                      entries.capacity() <= qvformat::kMaxFileSize / sizeof(UninstallEntry);
            if (!ok) {
                ++wrong;
                ADD_FAILURE() << c.name << ": read " << read << ", room for "
                              << entries.capacity() << " records";
            }
        }
    }
    char note[96];
    std::snprintf(note, sizeof(note), "%ld wrong, slowest read %.1f ms", wrong, slowestMs);
    Figure("R21 hostile data-file sizes and counts", runs, 0, 0, note);
}
