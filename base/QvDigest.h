#pragma once
// Digests and light encodings of byte strings: MD5 and HMAC-MD5 as
// upper-case hexadecimal text, DES in ECB mode, a position-keyed XOR
// scrambler, hexadecimal conversion and the reversible string encoding
// built from them. Lengths are in bytes.
#include <windows.h>

#include <cstdint>

#include "base/QvExport.h"

// The MD5 engine. Copying it copies the state, so a digest of a common
// prefix can be continued two ways.
class QV_API CMd5A {
public:
    CMd5A();
    virtual ~CMd5A();
    CMd5A(const CMd5A& other);
    CMd5A& operator=(const CMd5A& other);

    void Init();
    void Update(const unsigned char* data, unsigned int len);
    // Pads, writes the 16 digest bytes and wipes the state to zeros.
    void Final(unsigned char digest[16]);

    // 32 upper-case hexadecimal digits and a terminator into `out` (33
    // bytes): the digest of `text` up to its terminator, or its HMAC with
    // `key` (up to its terminator; a key longer than 64 bytes is replaced
    // by its digest first).
    void DigestHex(const char* text, char* out);
    void HmacHex(const char* text, const char* key, char* out);

private:
    void Transform(const unsigned char block[64]);

    uint32_t state_[4];
    uint32_t count_[2];  // bits hashed, low half first
    unsigned char buffer_[64];
};

// Replaces `data` (zero-terminated, at least 33 bytes of room) by the
// upper-case hexadecimal MD5 of its bytes, or their HMAC-MD5 when `key` is
// not null. 0 for a null `data`.
QV_API int MD5Go(char* data, char* key);
// DES-ECB in place over the whole 8-byte blocks of `data`, with the 8 bytes
// at `key` (parity bits ignored); trailing bytes are left as they are.
QV_API void DesGo(const char* key, char* data, int len, int encrypt);
// Byte i becomes itself XOR ((i + 8) mod 256); applying it twice restores.
QV_API void EasyEncode(char* data, int len);
// The `len` bytes become 2 * len upper-case hexadecimal digits and a
// terminator; `data` holds 2 * len + 1 bytes.
QV_API void ToHex(char* data, int len);
// `len` hexadecimal digits (upper case) become len / 2 bytes and a
// terminator, in place.
QV_API void ToAsc(char* data, int len);
// Encoding: DES, scrambler, hexadecimal text (`data` holds 2 * len + 1).
// Decoding (`encrypt` 0) takes `len` digits and gives back len / 2 bytes.
QV_API void QvEncode(const char* key, char* data, int len, int encrypt);
// Copies `src` to `dst` scrambling each 1024-byte block; applying it twice
// restores the file. 0 when either file cannot be opened.
QV_API int QvEncodeFile(const wchar_t* src, const wchar_t* dst);
