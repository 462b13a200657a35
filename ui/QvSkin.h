#pragma once
// Where the toolkit's images come from: the program's resources (mode 0),
// a themes folder of PNG files (mode 1) or a skin package (mode 2), the
// last two falling back to the resources for anything they lack.
#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

#include "base/QvExport.h"
#include "base/QvScoped.h"
#include "ui/QvRes.h"

// Longest image name a package record (and the cache) can hold.
constexpr int kQvSkinNameMax = 29;

// Header of one record of a skin package file; the data follows it.
#pragma pack(push, 1)
struct tagSkinEntry {
    wchar_t name[30];  // UTF-16LE, zero-terminated, zero-filled
    DWORD size;        // bytes of data after the header
};
#pragma pack(pop)
static_assert(sizeof(tagSkinEntry) == 64, "package record header is 64 bytes");

// An image handed out of the package; the cache owns the stream.
struct tagSkinCache {
    wchar_t name[30];
    IStream* stream;
};

class QV_API CQvSkin {
public:
    static CQvSkin& Instance();

    CQvSkin();
    ~CQvSkin();
    // Owns the package memory and the cached streams.
    CQvSkin(const CQvSkin&) = delete;
    CQvSkin& operator=(const CQvSkin&) = delete;

    void SetResType(int mode);
    int GetResType();
    // Skin path = <program folder>Skins\<name>\ ; mode 2.
    void SetSkinName(const wchar_t* name);
    // Themes path = <program folder>Themes\<name>\ ; mode 1.
    void SetThemesName(const wchar_t* name);
    // `out` holds MAX_PATH characters.
    void GetThemesPath(wchar_t* out);

    // Packs every file of `folder` into the package file `package`.
    bool MakeSkin(const wchar_t* folder, const wchar_t* package);
    // Loads the package of skin `name`, or of the stored skin path for null.
    bool LoadSkin(const wchar_t* name);
    void FreeSkin();
    // The stream stays owned by the cache and valid until the package is
    // freed; it is rewound to its start on every look-up.
    bool GetRes(const wchar_t* name, IStream*& stream);

    // The file LoadSkin opens for the stored skin path.
    std::wstring PackagePath() const;

private:
    bool FindRes(const wchar_t* name, IStream*& stream);
    void WriteSkin(HANDLE package, const wchar_t* source);

    std::wstring skinPath_;
    std::wstring themesPath_;
    qv::ScopedGlobal package_;  // the whole package file while one is loaded
    int packageSize_ = 0;
    int resType_ = 0;
    std::vector<tagSkinCache> cache_;
};

namespace qv {

// The record name of a source file: the file name up to its first ".";
// empty when the path has no backslash or the name no ".". At most
// kQvSkinNameMax characters are kept.
std::wstring SkinRecordName(const wchar_t* path);

}  // namespace qv
