// Skin packages, the resource modes and the program's resource accessors.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "base/QvUtil.h"
#include "support/ImageFixtures.h"
#include "support/TestUtil.h"
#include "ui/QvRes.h"
#include "ui/QvSkin.h"

using namespace qvtest;

namespace {

std::vector<BYTE> Bytes(const char* text) {
    return std::vector<BYTE>(text, text + std::strlen(text));
}

// From the current position: the look-ups must hand the stream out rewound.
std::vector<BYTE> ReadAll(IStream* s) {
    std::vector<BYTE> out;
    BYTE buf[256];
    ULONG got = 0;
    while (SUCCEEDED(s->Read(buf, sizeof buf, &got)) && got) out.insert(out.end(), buf, buf + got);
    return out;
}

// name -> data of every record, walking the file the way the format says.
std::map<std::wstring, std::vector<BYTE>> Records(const std::vector<BYTE>& pkg, size_t* count) {
    std::map<std::wstring, std::vector<BYTE>> out;
    *count = 0;
    for (size_t off = 0; off + 64 <= pkg.size();) {
        tagSkinEntry h;
        std::memcpy(&h, pkg.data() + off, 64);
        const BYTE* data = pkg.data() + off + 64;
        out[h.name] = std::vector<BYTE>(data, data + h.size);
        ++*count;
        off += 64 + h.size;
    }
    return out;
}

// A skin named `name` lies in <program folder>Skins\. Other test programs
// may use that folder at the same time: only the files handed out here are
// removed, and the folder only when it is left empty.
class SkinsFolder {
public:
    SkinsFolder() {
        wchar_t folder[MAX_PATH];
        GetCurPath(folder);
        dir_ = std::wstring(folder) + L"Skins\\";
        ::CreateDirectoryW(dir_.c_str(), nullptr);
    }
    ~SkinsFolder() {
        for (const std::wstring& file : files_) ::DeleteFileW(file.c_str());
        ::RemoveDirectoryW(dir_.c_str());
    }
    std::wstring operator/(const wchar_t* name) {
        files_.push_back(dir_ + name);
        return files_.back();
    }

private:
    std::wstring dir_;
    std::vector<std::wstring> files_;
};

}  // namespace

TEST(SkinRecordName, TakesTheFileNameUpToItsFirstDot) {
    EXPECT_EQ(L"btn_close", qv::SkinRecordName(L"C:\\skin\\btn_close.png"));
    EXPECT_EQ(L"a", qv::SkinRecordName(L"C:\\skin\\a.b.png"));
    EXPECT_EQ(L"", qv::SkinRecordName(L"C:\\skin\\README"));
    EXPECT_EQ(L"", qv::SkinRecordName(L"button.png")) << "no backslash";
    EXPECT_EQ(L"", qv::SkinRecordName(L"C:\\skin.d\\noext")) << "a dot in the folder is not it";
    EXPECT_EQ(L"abcdefghijklmnopqrstuvwxyz012",
              qv::SkinRecordName(L"C:\\abcdefghijklmnopqrstuvwxyz0123456789.png"));
}

TEST(MakeSkin, PacksEveryFileOfTheFolderAsNamedRecords) {
    TempDir src;
    TempDir out;
    std::vector<BYTE> png = MakePng(3, 2, [](int, int) { return kRed; });
    ASSERT_TRUE(WriteBytes(src / L"button.png", png));
    ASSERT_TRUE(WriteBytes(src / L"a.b.png", Bytes("second")));
    ASSERT_TRUE(WriteBytes(src / L"noext", Bytes("third")));
    ASSERT_TRUE(WriteBytes(src / L"empty.png", {}));
    ASSERT_TRUE(WriteBytes(src / L"abcdefghijklmnopqrstuvwxyz0123456789.png", Bytes("long")));
    ::CreateDirectoryW((src / L"sub.dir").c_str(), nullptr);

    CQvSkin skin;
    ASSERT_TRUE(skin.MakeSkin(src.path().c_str(), (out / L"pkg").c_str()));
    size_t count = 0;
    auto records = Records(ReadBytes(out / L"pkg"), &count);
    EXPECT_EQ(5u, count) << "folders are left out";
    EXPECT_EQ(png, records[L"button"]);
    EXPECT_EQ(Bytes("second"), records[L"a"]);
    EXPECT_EQ(Bytes("third"), records[L""]);
    EXPECT_TRUE(records.count(L"empty") && records[L"empty"].empty());
    EXPECT_EQ(Bytes("long"), records[L"abcdefghijklmnopqrstuvwxyz012"]);

    // Without the trailing backslash the folder is still the folder.
    std::wstring bare = src.path().substr(0, src.path().size() - 1);
    ASSERT_TRUE(skin.MakeSkin(bare.c_str(), (out / L"pkg2").c_str()));
    EXPECT_EQ(ReadBytes(out / L"pkg").size(), ReadBytes(out / L"pkg2").size());

    // A package written into its own source folder does not pack itself.
    ASSERT_TRUE(skin.MakeSkin(src.path().c_str(), (src / L"self.skn").c_str()));
    Records(ReadBytes(src / L"self.skn"), &count);
    EXPECT_EQ(5u, count);
}

TEST(MakeSkin, EmptyFolderGivesAnEmptyPackageAndAMissingOneFails) {
    TempDir src;
    TempDir out;
    CQvSkin skin;
    ASSERT_TRUE(skin.MakeSkin(src.path().c_str(), (out / L"pkg").c_str()));
    EXPECT_TRUE(FileExists(out / L"pkg"));
    EXPECT_TRUE(ReadBytes(out / L"pkg").empty());
    EXPECT_FALSE(skin.MakeSkin((src / L"missing\\").c_str(), (out / L"pkg3").c_str()));
    EXPECT_TRUE(FileExists(out / L"pkg3")) << "created before the listing starts";
    EXPECT_FALSE(skin.MakeSkin(src.path().c_str(), (out / L"no\\such\\pkg").c_str()));
}

TEST(SkinPackage, LookupsAreExactCachedRewoundAndDroppedOnReload) {
    SkinsFolder skins;
    TempDir src;
    ASSERT_TRUE(WriteBytes(src / L"btn.png", Bytes("first button")));
    ASSERT_TRUE(WriteBytes(src / L"noext", Bytes("unnamed")));
    ASSERT_TRUE(WriteBytes(src / L"abcdefghijklmnopqrstuvwxyz0123456789.png", Bytes("long")));
    CQvSkin skin;
    ASSERT_TRUE(skin.MakeSkin(src.path().c_str(), (skins / L"qvt_one").c_str()));
    ASSERT_TRUE(WriteBytes(src / L"btn.png", Bytes("second button")));
    ASSERT_TRUE(skin.MakeSkin(src.path().c_str(), (skins / L"qvt_two").c_str()));

    IStream* s = nullptr;
    EXPECT_FALSE(skin.GetRes(L"btn", s)) << "no package loaded";
    ASSERT_TRUE(skin.LoadSkin(L"qvt_one"));
    EXPECT_EQ(2, skin.GetResType());
    ASSERT_TRUE(skin.GetRes(L"btn", s));
    EXPECT_EQ(Bytes("first button"), ReadAll(s));
    IStream* again = nullptr;
    ASSERT_TRUE(skin.GetRes(L"btn", again));
    EXPECT_EQ(s, again) << "the second request is served from the cache";
    EXPECT_EQ(Bytes("first button"), ReadAll(again)) << "rewound for the next reader";
    EXPECT_FALSE(skin.GetRes(L"BTN", s)) << "names are case-sensitive";
    EXPECT_FALSE(skin.GetRes(L"bt", s));
    ASSERT_TRUE(skin.GetRes(L"", s));
    EXPECT_EQ(Bytes("unnamed"), ReadAll(s));
    ASSERT_TRUE(skin.GetRes(L"abcdefghijklmnopqrstuvwxyz0123456789", s))
        << "a long name finds the record it was cut to";
    EXPECT_EQ(Bytes("long"), ReadAll(s));

    // A new package replaces the old one and everything cached from it.
    ASSERT_TRUE(skin.LoadSkin(L"qvt_two"));
    ASSERT_TRUE(skin.GetRes(L"btn", s));
    EXPECT_EQ(Bytes("second button"), ReadAll(s));

    // The stored skin path is used when no name is given.
    ASSERT_TRUE(skin.LoadSkin(nullptr));
    EXPECT_FALSE(skin.LoadSkin(L"qvt_missing"));
    EXPECT_EQ(2, skin.GetResType()) << "the mode changes even when loading fails";
    EXPECT_FALSE(skin.GetRes(L"btn", s)) << "the failed load left no package";

    // Freeing keeps the mode and paths.
    ASSERT_TRUE(skin.LoadSkin(L"qvt_one"));
    skin.FreeSkin();
    EXPECT_FALSE(skin.GetRes(L"btn", s));
    EXPECT_EQ(2, skin.GetResType());
    EXPECT_TRUE(skin.LoadSkin(nullptr));
}

TEST(SkinPackage, ADamagedRecordEndsTheWalk) {
    SkinsFolder skins;
    auto record = [](const wchar_t* name, DWORD size, const char* data) {
        std::vector<BYTE> r(64, 0);
        tagSkinEntry h{};
        std::wcsncpy(h.name, name, 29);
        h.size = size;
        std::memcpy(r.data(), &h, 64);
        r.insert(r.end(), data, data + std::strlen(data));
        return r;
    };
    std::vector<BYTE> pkg = record(L"good", 4, "good");
    auto bad = record(L"cut", 100, "short");  // claims more than is left
    pkg.insert(pkg.end(), bad.begin(), bad.end());
    ASSERT_TRUE(WriteBytes(skins / L"qvt_bad", pkg));
    // A header cut in half after a good record.
    std::vector<BYTE> half = record(L"good", 4, "good");
    half.insert(half.end(), 30, 'x');
    ASSERT_TRUE(WriteBytes(skins / L"qvt_half", half));
    // A name that fills its field without a terminator.
    std::vector<BYTE> unterminated(64, 0);
    for (int i = 0; i < 30; ++i) reinterpret_cast<wchar_t*>(unterminated.data())[i] = L'n';
    ASSERT_TRUE(WriteBytes(skins / L"qvt_unterm", unterminated));

    CQvSkin skin;
    IStream* s = nullptr;
    ASSERT_TRUE(skin.LoadSkin(L"qvt_bad"));
    EXPECT_TRUE(skin.GetRes(L"good", s));
    EXPECT_FALSE(skin.GetRes(L"cut", s));
    ASSERT_TRUE(skin.LoadSkin(L"qvt_half"));
    EXPECT_TRUE(skin.GetRes(L"good", s));
    EXPECT_FALSE(skin.GetRes(L"other", s));
    ASSERT_TRUE(skin.LoadSkin(L"qvt_unterm"));
    EXPECT_FALSE(skin.GetRes(L"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn", s));
    ASSERT_TRUE(WriteBytes(skins / L"qvt_empty", {}));
    ASSERT_TRUE(skin.LoadSkin(L"qvt_empty"));
    EXPECT_FALSE(skin.GetRes(L"", s));
}

TEST(SkinModes, NamesSetPathsUnderTheProgramFolderAndTheMode) {
    wchar_t folder[MAX_PATH];
    GetCurPath(folder);
    CQvSkin skin;
    EXPECT_EQ(0, skin.GetResType());
    wchar_t themes[MAX_PATH] = L"junk";
    skin.GetThemesPath(themes);
    EXPECT_STREQ(L"", themes);
    skin.SetThemesName(L"blue");
    EXPECT_EQ(1, skin.GetResType());
    skin.GetThemesPath(themes);
    EXPECT_EQ(std::wstring(folder) + L"Themes\\blue\\", themes);
    skin.SetSkinName(L"dark");
    EXPECT_EQ(2, skin.GetResType());
    EXPECT_EQ(std::wstring(folder) + L"Skins\\dark", skin.PackagePath());
    skin.SetResType(0);
    EXPECT_EQ(0, skin.GetResType());
}

TEST(ResourceAccess, ReadsTheProgramsOwnResources) {
    // Every test program carries the program's resources.
    int size = QvResSize(60052, L"IMG");
    ASSERT_GT(size, 8);
    std::vector<BYTE> buf(size);
    ASSERT_EQ(1, QvResGetBuff(60052, L"IMG", buf.data()));
    EXPECT_EQ(0, std::memcmp(buf.data(), "\x89PNG", 4));
    qv::ComPtr<IStream> s(QvResGetStream(60052, L"IMG"));
    ASSERT_TRUE(s);
    EXPECT_EQ(buf, ReadAll(s.get())) << "the stream holds exactly the resource";

    EXPECT_EQ(0, QvResSize(60099, L"IMG"));
    EXPECT_EQ(nullptr, QvResGetStream(60099, L"IMG"));
    EXPECT_EQ(0, QvResGetBuff(60099, L"IMG", buf.data()));
    EXPECT_EQ(0, QvResSize(60052, L"PNG")) << "the type matters";
}

TEST(ResourceAccess, SaveWritesTheResourceAndNothingWhenMissing) {
    TempDir dir;
    EXPECT_EQ(1, QvResSave(60052, L"IMG", (dir / L"bg.png").c_str()));
    EXPECT_EQ(static_cast<size_t>(QvResSize(60052, L"IMG")), ReadBytes(dir / L"bg.png").size());
    EXPECT_EQ(0, QvResSave(60099, L"IMG", (dir / L"none.png").c_str()));
    EXPECT_FALSE(FileExists(dir / L"none.png"));
}

TEST(ResourceAccess, UpdateWritesIntoACopyOfAProgramAndKeepsTheRest) {
    TempDir dir;
    std::wstring exe = dir / L"copy.exe";
    ASSERT_TRUE(::CopyFileW(SelfPath().c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(WriteBytes(dir / L"data.bin", Bytes("from a file")));
    char buffer[] = "from a buffer";
    EXPECT_EQ(1, QvResUpdate(exe.c_str(), 7001, L"IMG", (dir / L"data.bin").c_str()));
    EXPECT_EQ(1, QvResUpdate2(exe.c_str(), 7002, L"DATA", buffer, 13));
    EXPECT_EQ(0, QvResUpdate(exe.c_str(), 7003, L"IMG", (dir / L"missing.bin").c_str()));
    EXPECT_EQ(0, QvResUpdate2((dir / L"missing.exe").c_str(), 7004, L"IMG", buffer, 13));

    HMODULE m = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(m);
    auto bytes = [&](int id, const wchar_t* type) {
        const void* data = nullptr;
        DWORD size = 0;
        if (!qv::FindResourceBytes(m, id, type, &data, &size)) return std::vector<BYTE>{};
        return std::vector<BYTE>(static_cast<const BYTE*>(data),
                                 static_cast<const BYTE*>(data) + size);
    };
    EXPECT_EQ(Bytes("from a file"), bytes(7001, L"IMG"));
    EXPECT_EQ(Bytes("from a buffer"), bytes(7002, L"DATA"));
    EXPECT_TRUE(bytes(7003, L"IMG").empty());
    EXPECT_FALSE(bytes(60052, L"IMG").empty()) << "existing resources are kept";
    ::FreeLibrary(m);
}
