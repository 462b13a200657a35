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

// Which forms are safe with a buffer of any size: the ...Ex forms, which
// take the size and write nothing when it is too small, and DesGo, which
// reads its key only up to the terminator. MD5Go and ToHex trust the caller
// to have made room (33 and 2 * len + 1 bytes).

// Replaces `data` (zero-terminated, at least 33 bytes of room) by the
// upper-case hexadecimal MD5 of its bytes, or their HMAC-MD5 when `key` is
// not null. 0 for a null `data`. Unsafe when `data` may be shorter than 33
// bytes: use MD5GoEx.
QV_API int MD5Go(char* data, char* key);
// The same text into `out` of `outSize` bytes (`out` may be `data`); 0 and
// nothing written when outSize is below 33.
QV_API int MD5GoEx(const char* data, const char* key, char* out, int outSize);
// DES-ECB in place over the whole 8-byte blocks of `data`, with the first 8
// bytes of `key` (parity bits ignored); a key shorter than 8 bytes ends at
// its terminator and is padded with zeros. Trailing bytes are left as they
// are.
QV_API void DesGo(const char* key, char* data, int len, int encrypt);
// The same with a key of `keyLen` bytes (zeros may be part of it), padded
// with zeros to 8.
QV_API void DesGoEx(const char* key, int keyLen, char* data, int len, int encrypt);
// Byte i becomes itself XOR ((i + 8) mod 256); applying it twice restores.
QV_API void EasyEncode(char* data, int len);
// The `len` bytes become 2 * len upper-case hexadecimal digits and a
// terminator; `data` holds 2 * len + 1 bytes (a `len` for which that
// size cannot exist does nothing). Unsafe when `data` may be shorter: use
// ToHexEx.
QV_API void ToHex(char* data, int len);
// The same when `dataSize` bytes hold 2 * len + 1; otherwise 0 and nothing
// changed.
QV_API int ToHexEx(char* data, int len, int dataSize);
// `len` hexadecimal digits (upper case) become len / 2 bytes and a
// terminator, in place.
QV_API void ToAsc(char* data, int len);
// Encoding: DES, scrambler, hexadecimal text (`data` holds 2 * len + 1,
// which the caller must make sure of).
// Decoding (`encrypt` 0) takes `len` digits and gives back len / 2 bytes.
QV_API void QvEncode(const char* key, char* data, int len, int encrypt);
// Copies `src` to `dst` scrambling each 1024-byte block; applying it twice
// restores the file. 0 when either file cannot be opened.
QV_API int QvEncodeFile(const wchar_t* src, const wchar_t* dst);
