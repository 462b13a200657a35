#pragma once
// Compression through zlib, loaded at run time from "zlib1.dll" beside the
// program (or beside a named module). Without the library the program keeps
// working; the operations below then fail with their documented results.
#include <windows.h>
#include "base/QvExport.h"
#include "base/QvScoped.h"

class QV_API CQvZlib {
public:
    static CQvZlib& Instance();

    CQvZlib();
    ~CQvZlib();
    // Owns the loaded library, which cannot be copied.
    CQvZlib(const CQvZlib&) = delete;
    CQvZlib& operator=(const CQvZlib&) = delete;

    // Loads zlib1.dll from the folder of `module` (null: the program) and
    // binds its entry points. S_OK when bound (or already bound), otherwise
    // the loader's error as an HRESULT.
    long InitZlib(const wchar_t* module);
    void UninitZlib();

    // Inflates a gzip or zlib stream. On success *out is a malloc'ed buffer
    // of *outSize bytes that the caller frees; on failure E_FAIL, *out null.
    // Data that would inflate to more than 1,000,000,000 bytes fails: use
    // DecodeGZipBufferTo for data from outside.
    long DecodeGZipBuffer(unsigned char* data, long size, unsigned char** out, long* outSize);
    // Inflates straight into `out` and stops when its `outCapacity` bytes
    // are full, so that a small reply cannot make the program inflate (or
    // allocate) gigabytes. S_OK when the stream ended within the buffer,
    // S_FALSE when the buffer filled first (the first outCapacity bytes are
    // there), E_FAIL for bad or truncated data; *outSize is what was
    // written either way.
    long DecodeGZipBufferTo(const unsigned char* data, long size, unsigned char* out,
                            long outCapacity, long* outSize);
    // Whole-file compression into one zlib stream and back; files of up to
    // 1,000,000,000 bytes. 0 on success. `sizeHint`, when not 0, is the
    // expected decoded size, tried first; it never costs more memory than
    // the file could decode to.
    long EncodeFile(const wchar_t* src, const wchar_t* dst, int level);
    long DecodeFile(const wchar_t* src, const wchar_t* dst, unsigned long sizeHint);

private:
    qv::CriticalSection cs_;
    qv::ScopedModule module_;  // bound while set; the entry points come from it
};
