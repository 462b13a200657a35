#include "ui/QvRes.h"

#include <cstring>

#include "base/QvScoped.h"
#include "base/QvShellScoped.h"

namespace qv {

bool FindResourceBytes(HMODULE module, int id, const wchar_t* type, const void** data,
                       DWORD* size) {
    if (!type) return false;
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!info) return false;
    HGLOBAL loaded = ::LoadResource(module, info);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes) return false;
    *data = bytes;
    *size = ::SizeofResource(module, info);
    return true;
}

IStream* StreamOverCopy(const void* data, size_t size) {
    // A zero-byte movable block would be allocated discarded and cannot be
    // locked; one spare byte keeps empty data a valid, empty stream.
    ScopedGlobal mem(::GlobalAlloc(GMEM_MOVEABLE, size ? size : 1));
    if (!mem) return nullptr;
    {
        ScopedGlobalLock dst(mem.get());
        if (!dst.get()) return nullptr;
        if (size) std::memcpy(dst.get(), data, size);
    }
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(mem.get(), TRUE, &stream)) || !stream) return nullptr;
    mem.release();  // the stream frees it now
    ULARGE_INTEGER exact;
    exact.QuadPart = size;
    stream->SetSize(exact);
    return stream;
}

}  // namespace qv

namespace qv {

bool OwnResourceBytes(int id, const wchar_t* type, const void** data, DWORD* size) {
    return FindResourceBytes(::GetModuleHandleW(nullptr), id, type, data, size);
}

}  // namespace qv

IStream* QvResGetStream(int id, const wchar_t* type) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!qv::OwnResourceBytes(id, type, &data, &size)) return nullptr;
    return qv::StreamOverCopy(data, size);
}

int QvResGetBuff(int id, const wchar_t* type, void* buffer) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!buffer || !qv::OwnResourceBytes(id, type, &data, &size)) return 0;
    std::memcpy(buffer, data, size);
    return 1;
}

int QvResSize(int id, const wchar_t* type) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!qv::OwnResourceBytes(id, type, &data, &size)) return 0;
    return static_cast<int>(size);
}
