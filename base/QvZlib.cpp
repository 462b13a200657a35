#include "base/QvZlib.h"

#include <iterator>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "base/QvScoped.h"
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
    std::wcscat(path, kName);

    Guard guard(cs_);
    if (module_) return S_OK;
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

long CQvZlib::DecodeGZipBuffer(unsigned char* data, long size, unsigned char** out,
                               long* outSize) {
    if (out) *out = nullptr;
    if (outSize) *outSize = 0;
    if (!g_bound.inflate || !g_bound.inflateInit2 || !g_bound.inflateEnd || !out || !outSize ||
        size < 0 || (!data && size))
        return E_FAIL;

    Stream strm{};
    strm.next_in = data;
    strm.avail_in = static_cast<unsigned int>(size);
    // 15 + 32: accept a zlib or a gzip header, whichever the data has.
    if (g_bound.inflateInit2(&strm, 47, kVersion, sizeof(Stream)) != kOk) return E_FAIL;

    unsigned char* result = nullptr;
    long length = 0;
    int ret = kOk;
    unsigned char window[4096];
    for (;;) {
        strm.next_out = window;
        strm.avail_out = sizeof(window);
        ret = g_bound.inflate(&strm, kNoFlush);
        if (ret == kNeedDict) ret = kDataError;
        if (ret == kDataError || ret == kMemError) break;
        long produced = static_cast<long>(sizeof(window) - strm.avail_out);
        if (produced) {
            auto* grown = static_cast<unsigned char*>(std::realloc(result, length + produced));
            if (!grown) {
                ret = kMemError;
                break;
            }
            result = grown;
            std::memcpy(result + length, window, produced);
            length += produced;
        }
        if (ret == kStreamEnd || strm.avail_out != 0) break;
    }
    g_bound.inflateEnd(&strm);

    if (ret != kStreamEnd) {
        std::free(result);
        return E_FAIL;
    }
    // An empty stream still hands over a buffer, so callers can always free it.
    if (!result) result = static_cast<unsigned char*>(std::malloc(1));
    if (!result) return E_FAIL;
    *out = result;
    *outSize = length;
    return S_OK;
}
