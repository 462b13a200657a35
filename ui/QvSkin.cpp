// Resource mode, skin and themes paths, and package look-ups with their
// cache.
#include "ui/QvSkin.h"

#include <cstring>
#include <cwchar>

#include "base/QvShellScoped.h"
#include "base/QvUtil.h"

namespace {

// Names longer than a record can hold were cut when the package was
// written; cutting the requested name the same way finds them again.
std::wstring LookupKey(const wchar_t* name) {
    std::wstring key = name ? name : L"";
    if (key.size() > static_cast<size_t>(kQvSkinNameMax)) key.resize(kQvSkinNameMax);
    return key;
}

void Rewind(IStream* stream) {
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
}

}  // namespace

CQvSkin& CQvSkin::Instance() {
    static CQvSkin skin;
    return skin;
}

CQvSkin::CQvSkin() = default;

CQvSkin::~CQvSkin() {
    FreeSkin();
}

void CQvSkin::SetResType(int mode) {
    resType_ = mode;
}

int CQvSkin::GetResType() {
    return resType_;
}

void CQvSkin::SetSkinName(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetCurPath(folder);
    skinPath_ = std::wstring(folder) + L"Skins\\" + (name ? name : L"") + L"\\";
    resType_ = 2;
}

void CQvSkin::SetThemesName(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetCurPath(folder);
    themesPath_ = std::wstring(folder) + L"Themes\\" + (name ? name : L"") + L"\\";
    resType_ = 1;
}

void CQvSkin::GetThemesPath(wchar_t* out) {
    if (!out) return;
    size_t n = themesPath_.copy(out, MAX_PATH - 1);
    out[n] = L'\0';
}

bool CQvSkin::GetRes(const wchar_t* name, IStream*& stream) {
    std::wstring key = LookupKey(name);
    for (const tagSkinCache& entry : cache_) {
        if (key == entry.name) {
            // Every decode reads from the current position; the previous
            // one left it at the end.
            Rewind(entry.stream);
            stream = entry.stream;
            return true;
        }
    }
    return FindRes(name, stream);
}

bool CQvSkin::FindRes(const wchar_t* name, IStream*& stream) {
    if (!package_) return false;
    qv::ScopedGlobalLock locked(package_.get());
    const auto* base = static_cast<const BYTE*>(locked.get());
    if (!base) return false;
    std::wstring key = LookupKey(name);
    const size_t total = static_cast<size_t>(packageSize_);
    bool found = false;
    for (size_t offset = 0; offset < total;) {
        // A record that would reach past the end means a damaged package:
        // nothing after it can be trusted.
        if (total - offset < sizeof(tagSkinEntry)) break;
        tagSkinEntry header;
        std::memcpy(&header, base + offset, sizeof header);
        const size_t dataAt = offset + sizeof header;
        if (header.size > total - dataAt) break;
        // The stored name need not be terminated in a damaged file.
        std::wstring stored(header.name, wcsnlen(header.name, kQvSkinNameMax + 1));
        if (stored == key) {
            IStream* copy = qv::StreamOverCopy(base + dataAt, header.size);
            if (copy) {
                tagSkinCache entry{};
                key.copy(entry.name, kQvSkinNameMax);
                entry.stream = copy;
                cache_.push_back(entry);
                stream = copy;
                found = true;
            }
            break;
        }
        offset = dataAt + header.size;
    }
    return found;
}

void CQvSkin::FreeSkin() {
    package_.reset();
    packageSize_ = 0;
    for (tagSkinCache& entry : cache_) entry.stream->Release();
    cache_.clear();
}
