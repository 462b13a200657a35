// Whole-file compression: the output of one compress2 call, read back with
// one uncompress call. Both files are held in memory, hence the size limit.
#include <cstdlib>
#include <memory>

#include "base/QvScoped.h"
#include "base/QvZlib.h"
#include "base/QvZlibApi.h"

using namespace qv::zlib;

namespace {

constexpr unsigned long long kMaxSize = 1000000000ull;
constexpr unsigned long kMinCapacity = 1000000ul;

long LastError() {
    DWORD err = ::GetLastError();
    return err ? HRESULT_FROM_WIN32(err) : E_FAIL;
}

// The most that `size` bytes of a zlib stream can inflate to: deflate
// expands at most 1032 to 1 (a 258-byte match coded in two bits).
unsigned long long InflateBound(DWORD size) {
    return 1032ull * size + 1032;
}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<unsigned char, FreeDeleter>;

bool ReadAll(HANDLE file, unsigned char* buf, DWORD size) {
    DWORD done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!::ReadFile(file, buf + done, size - done, &got, nullptr)) return false;
        if (got == 0) {
            ::SetLastError(ERROR_HANDLE_EOF);  // the file shrank while we read it
            return false;
        }
        done += got;
    }
    return true;
}

// compress2 or uncompress into a buffer that doubles while zlib says it is
// too small, up to the size limit. `ceiling`, when not 0, is the most the
// input can turn into: the first buffer is never larger, whatever it was
// asked to be.
template <typename Call>
long Transform(const wchar_t* src, const wchar_t* dst, unsigned long firstCapacity,
               unsigned long long (*ceiling)(DWORD), Call call) {
    qv::ScopedFile in(::CreateFileW(src, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in) return LastError();
    qv::ScopedFile out(::CreateFileW(dst, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return LastError();

    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(in.get(), &size)) return LastError();
    if (size.QuadPart == 0) return S_OK;
    if (static_cast<unsigned long long>(size.QuadPart) > kMaxSize) return E_FAIL;
    DWORD inSize = static_cast<DWORD>(size.QuadPart);

    Buffer input(static_cast<unsigned char*>(std::malloc(inSize)));
    if (!input) return E_OUTOFMEMORY;
    if (!ReadAll(in.get(), input.get(), inSize)) return LastError();

    unsigned long long capacity =
        firstCapacity ? firstCapacity : (inSize > kMinCapacity ? inSize : kMinCapacity);
    if (ceiling && capacity > ceiling(inSize)) capacity = ceiling(inSize);
    while (capacity <= kMaxSize) {
        Buffer output(static_cast<unsigned char*>(std::malloc(static_cast<size_t>(capacity))));
        if (!output) return E_OUTOFMEMORY;
        unsigned long length = static_cast<unsigned long>(capacity);
        int ret = call(output.get(), &length, input.get(), inSize);
        if (ret == kBufError) {
            capacity *= 2;
            continue;
        }
        if (ret != kOk) return E_FAIL;
        DWORD written = 0;
        if (!::WriteFile(out.get(), output.get(), length, &written, nullptr)) return LastError();
        return written == length ? S_OK : E_FAIL;
    }
    return E_FAIL;
}

}  // namespace

long CQvZlib::EncodeFile(const wchar_t* src, const wchar_t* dst, int level) {
    Compress2Fn compress2 = g_bound.compress2;
    if (!compress2) return E_NOINTERFACE;
    return Transform(src, dst, 0, nullptr,
                     [&](unsigned char* o, unsigned long* ol, const unsigned char* i,
                         unsigned long il) { return compress2(o, ol, i, il, level); });
}

long CQvZlib::DecodeFile(const wchar_t* src, const wchar_t* dst, unsigned long sizeHint) {
    UncompressFn uncompress = g_bound.uncompress;
    if (!uncompress) return E_NOINTERFACE;
    // A 32-bit process may not have a large hint to spare in one piece.
    return Transform(src, dst, sizeHint, &InflateBound,
                     [&](unsigned char* o, unsigned long* ol, const unsigned char* i,
                         unsigned long il) { return uncompress(o, ol, i, il); });
}
