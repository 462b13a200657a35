#include "base/QvZlib.h"

#include <iterator>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "base/QvScoped.h"
#include "base/QvTrust.h"
#include "base/QvUtil.h"
#include "base/QvZlibApi.h"

namespace qv::zlib {
Bindings g_bound{};
}  // namespace qv::zlib

using namespace qv::zlib;

namespace {

using Guard = qv::ScopedCriticalSection;

template <typename Fn>
bool Bind(HMODULE module, const char* name, Fn* slot) {
    *slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return *slot != nullptr;
}

long LastErrorResult() {
    DWORD err = ::GetLastError();
    // A failure must never read as success, even if the loader left no code.
    return err ? HRESULT_FROM_WIN32(err) : E_FAIL;
}

}  // namespace

CQvZlib& CQvZlib::Instance() {
    static CQvZlib _ins;
    return _ins;
}

CQvZlib::CQvZlib() = default;

CQvZlib::~CQvZlib() {
    // The library stays loaded: other static objects may still inflate
    // during shutdown.
    (void)module_.release();
}

long CQvZlib::InitZlib(const wchar_t* module) {
    wchar_t path[MAX_PATH] = {};
    if (module)
        GetCurPathEx(module, path);
    else
        GetCurPath(path);
    const wchar_t kName[] = L"zlib1.dll";
    if (std::wcslen(path) + std::size(kName) > MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    // An elevated program would run a DLL that a standard user planted
    // there: it goes on without zlib, as if the library were absent. The
    // decision is made on the file and folders opened; once they pass, no
    // one else can change what the path names. (The handle is let go: the
    // loader opens the file itself, and Wine's refuses while it is held.)
    const bool allowed = qv::trust::MayUse(path, kName);
    std::wcscat(path, kName);

    Guard guard(cs_);
    if (module_) return S_OK;
    if (!allowed) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    qv::ScopedModule lib(::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    Bindings b{};
    HMODULE m = lib.get();
    bool ok = m && Bind(m, "compress", &b.compress) && Bind(m, "compress2", &b.compress2) &&
              Bind(m, "uncompress", &b.uncompress) && Bind(m, "inflate", &b.inflate) &&
              Bind(m, "inflateEnd", &b.inflateEnd) && Bind(m, "inflateInit_", &b.inflateInit) &&
              Bind(m, "inflateInit2_", &b.inflateInit2);
    // The error is read before the owner frees the library and may change it.
    if (!ok) return LastErrorResult();  // g_bound stays all null: nothing half-bound is visible
    g_bound = b;
    module_ = std::move(lib);
    return S_OK;
}

void CQvZlib::UninitZlib() {
    Guard guard(cs_);
    g_bound = Bindings{};
    module_.reset();
}

namespace {

// Owns an inflate stream begun with window bits 15 + 32, which accept a zlib
// or a gzip header, whichever the data has.
class Inflater {
public:
    Inflater(const unsigned char* data, long size) {
        strm_.next_in = data;
        strm_.avail_in = static_cast<unsigned int>(size);
        ok_ = g_bound.inflateInit2(&strm_, 47, kVersion, sizeof(Stream)) == kOk;
    }
    ~Inflater() {
        if (ok_) g_bound.inflateEnd(&strm_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    bool ok() const { return ok_; }

    // Inflates into `room` bytes at `out`; returns zlib's result with a
    // dictionary request taken as bad data, and adds what came to *made.
    int Step(unsigned char* out, unsigned int room, unsigned long* made) {
        strm_.next_out = out;
        strm_.avail_out = room;
        int ret = g_bound.inflate(&strm_, kNoFlush);
        *made += room - strm_.avail_out;
        return ret == kNeedDict ? kDataError : ret;
    }

private:
    Stream strm_{};
    bool ok_ = false;
};

bool Bound() {
    return g_bound.inflate && g_bound.inflateInit2 && g_bound.inflateEnd;
}

// What DecodeGZipBuffer may allocate, as for the file operations; it also
// keeps every size within a 32-bit long.
constexpr unsigned long kMaxInflated = 1000000000;

}  // namespace

long CQvZlib::DecodeGZipBuffer(unsigned char* data, long size, unsigned char** out,
                               long* outSize) {
    if (out) *out = nullptr;
    if (outSize) *outSize = 0;
    if (!Bound() || !out || !outSize || size < 0 || (!data && size)) return E_FAIL;
    Inflater inflater(data, size);
    if (!inflater.ok()) return E_FAIL;

    // The buffer doubles as it fills: growing it by one window at a time
    // made a 16 MiB reply cost seconds of copying.
    unsigned long capacity = 4096, length = 0;
    auto* result = static_cast<unsigned char*>(std::malloc(capacity));
    int ret = result ? kOk : kMemError;
    while (ret == kOk) {
        if (length == capacity) {
            if (capacity >= kMaxInflated) {
                ret = kMemError;
                break;
            }
            unsigned long grown = capacity * 2 > kMaxInflated ? kMaxInflated : capacity * 2;
            auto* bigger = static_cast<unsigned char*>(std::realloc(result, grown));
            if (!bigger) {
                ret = kMemError;
                break;
            }
            result = bigger;
            capacity = grown;
        }
        const unsigned long before = length;
        ret = inflater.Step(result + length, static_cast<unsigned int>(capacity - length), &length);
        // No progress with room left: the input ended before the stream did.
        if (ret == kOk && length == before && length != capacity) ret = kBufError;
    }
    if (ret != kStreamEnd) {
        std::free(result);
        return E_FAIL;
    }
    *out = result;
    *outSize = static_cast<long>(length);
    return S_OK;
}

long CQvZlib::DecodeGZipBufferTo(const unsigned char* data, long size, unsigned char* out,
                                 long outCapacity, long* outSize) {
    if (outSize) *outSize = 0;
    if (!Bound() || !outSize || size < 0 || (!data && size) || outCapacity < 0 ||
        (!out && outCapacity))
        return E_FAIL;
    Inflater inflater(data, size);
    if (!inflater.ok()) return E_FAIL;
    unsigned long length = 0;
    const unsigned long capacity = static_cast<unsigned long>(outCapacity);
    int ret = kOk;
    while (ret == kOk && length < capacity) {
        const unsigned long before = length;
        ret = inflater.Step(out + length, static_cast<unsigned int>(capacity - length), &length);
        if (ret == kOk && length == before) ret = kBufError;  // input ran out
    }
    *outSize = static_cast<long>(length);
    if (ret == kStreamEnd) return S_OK;
    // Full before the end: what fits is there, the rest is never inflated.
    if (ret == kOk && length == capacity) return S_FALSE;
    return E_FAIL;
}
