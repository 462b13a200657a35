#pragma once
// The part of zlib's binary interface the framework calls (zlib is loaded at
// run time, so its header is not needed at build time). Layout and values
// are those of zlib 1.2.x for 32-bit Windows; the functions use cdecl.
#include <windows.h>

namespace qv::zlib {

struct Stream {
    const unsigned char* next_in;
    unsigned int avail_in;
    unsigned long total_in;
    unsigned char* next_out;
    unsigned int avail_out;
    unsigned long total_out;
    const char* msg;
    void* state;
    void* zalloc;
    void* zfree;
    void* opaque;
    int data_type;
    unsigned long adler;
    unsigned long reserved;
};

constexpr int kOk = 0;
constexpr int kStreamEnd = 1;
constexpr int kNeedDict = 2;
constexpr int kDataError = -3;
constexpr int kMemError = -4;
constexpr int kBufError = -5;
constexpr int kNoFlush = 0;

// The interface version handed to the initialisers; zlib compares only its
// first digit, so any 1.x library accepts it.
constexpr char kVersion[] = "1.2.7";

using CompressFn = int (*)(unsigned char* dst, unsigned long* dstLen, const unsigned char* src,
                           unsigned long srcLen);
using Compress2Fn = int (*)(unsigned char* dst, unsigned long* dstLen, const unsigned char* src,
                            unsigned long srcLen, int level);
using UncompressFn = CompressFn;
using InflateFn = int (*)(Stream* strm, int flush);
using InflateEndFn = int (*)(Stream* strm);
using InflateInitFn = int (*)(Stream* strm, const char* version, int streamSize);
using InflateInit2Fn = int (*)(Stream* strm, int windowBits, const char* version, int streamSize);

}  // namespace qv::zlib

namespace qv::zlib {

// The entry points of the library CQvZlib holds, shared by the whole
// process. Written only by CQvZlib::InitZlib/UninitZlib under their lock;
// all null while unbound.
struct Bindings {
    CompressFn compress;
    Compress2Fn compress2;
    UncompressFn uncompress;
    InflateFn inflate;
    InflateEndFn inflateEnd;
    InflateInitFn inflateInit;
    InflateInit2Fn inflateInit2;
};
extern Bindings g_bound;

}  // namespace qv::zlib
