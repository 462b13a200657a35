// MD5 (RFC 1321) and HMAC-MD5 (RFC 2104).
#include <cstdio>
#include <cstring>

#include "base/QvDigest.h"

namespace {

// The sine table: floor(abs(sin(i + 1)) * 2^32).
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
    0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
    0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
    0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
    0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
    0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
    0xeb86d391};

// Left-rotation amounts, four per round.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr int kBlock = 64;

uint32_t Rotl(uint32_t v, int n) {
    return (v << n) | (v >> (32 - n));
}

uint32_t LoadLe(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void StoreLe(uint32_t v, unsigned char* p) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void FormatHex(const unsigned char digest[16], char* out) {
    // By hand: the C library's formatter would be linked for this alone.
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < 16; ++i) {
        out[2 * i] = kDigits[digest[i] >> 4];
        out[2 * i + 1] = kDigits[digest[i] & 0xF];
    }
    out[32] = '\0';
}

}  // namespace

CMd5A::CMd5A() {
    Init();
}

CMd5A::~CMd5A() {
    // Key material may pass through the buffer (HMAC pads).
    ::SecureZeroMemory(buffer_, sizeof buffer_);
}

CMd5A::CMd5A(const CMd5A& other) = default;
CMd5A& CMd5A::operator=(const CMd5A& other) = default;

void CMd5A::Init() {
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    count_[0] = count_[1] = 0;
    std::memset(buffer_, 0, sizeof buffer_);
}

void CMd5A::Transform(const unsigned char block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLe(block + 4 * i);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        uint32_t f;
        int k;
        switch (round) {
            case 0: f = (b & c) | (~b & d); k = i; break;
            case 1: f = (b & d) | (c & ~d); k = (1 + 5 * i) % 16; break;
            case 2: f = b ^ c ^ d; k = (5 + 3 * i) % 16; break;
            default: f = c ^ (b | ~d); k = (7 * i) % 16; break;
        }
        const uint32_t next = b + Rotl(a + f + x[k] + kSine[i], kShift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void CMd5A::Update(const unsigned char* data, unsigned int len) {
    if (!data || !len) return;
    unsigned int used = (count_[0] >> 3) % kBlock;
    const uint32_t bits = len << 3;
    count_[0] += bits;
    if (count_[0] < bits) ++count_[1];
    count_[1] += len >> 29;
    // Finish a partly filled block first, then whole blocks straight from
    // the input, then keep the rest.
    unsigned int i = 0;
    if (used + len >= kBlock) {
        i = kBlock - used;
        std::memcpy(buffer_ + used, data, i);
        Transform(buffer_);
        for (; i + kBlock <= len; i += kBlock) Transform(data + i);
        used = 0;
    }
    std::memcpy(buffer_ + used, data + i, len - i);
}

void CMd5A::Final(unsigned char digest[16]) {
    unsigned char length[8];
    StoreLe(count_[0], length);
    StoreLe(count_[1], length + 4);
    // One 0x80 byte, then zeros up to 56 bytes mod 64, then the bit count.
    static const unsigned char kPad[kBlock] = {0x80};
    const unsigned int used = (count_[0] >> 3) % kBlock;
    Update(kPad, used < 56 ? 56 - used : 120 - used);
    Update(length, 8);
    for (int i = 0; i < 4; ++i) StoreLe(state_[i], digest + 4 * i);
    ::SecureZeroMemory(state_, sizeof state_);
    ::SecureZeroMemory(count_, sizeof count_);
    ::SecureZeroMemory(buffer_, sizeof buffer_);
}

void CMd5A::DigestHex(const char* text, char* out) {
    unsigned char digest[16];
    Init();
    Update(reinterpret_cast<const unsigned char*>(text), static_cast<unsigned>(std::strlen(text)));
    Final(digest);
    FormatHex(digest, out);
}

void CMd5A::HmacHex(const char* text, const char* key, char* out) {
    unsigned char k[kBlock] = {};
    size_t keyLen = std::strlen(key);
    if (keyLen > kBlock) {
        Init();
        Update(reinterpret_cast<const unsigned char*>(key), static_cast<unsigned>(keyLen));
        Final(k);
    } else {
        std::memcpy(k, key, keyLen);
    }
    unsigned char pad[kBlock];
    unsigned char inner[16];
    for (int i = 0; i < kBlock; ++i) pad[i] = k[i] ^ 0x36;
    Init();
    Update(pad, kBlock);
    Update(reinterpret_cast<const unsigned char*>(text), static_cast<unsigned>(std::strlen(text)));
    Final(inner);
    for (int i = 0; i < kBlock; ++i) pad[i] = k[i] ^ 0x5c;
    unsigned char digest[16];
    Init();
    Update(pad, kBlock);
    Update(inner, sizeof inner);
    Final(digest);
    ::SecureZeroMemory(k, sizeof k);
    ::SecureZeroMemory(pad, sizeof pad);
    FormatHex(digest, out);
}

int MD5Go(char* data, char* key) {
    // The specified form cannot know the size of `data`: it must hold 33.
    return MD5GoEx(data, key, data, 33);
}

int MD5GoEx(const char* data, const char* key, char* out, int outSize) {
    if (!data || !out || outSize < 33) return 0;
    // Each call formats into its own buffer, so concurrent calls are safe,
    // and `out` may be `data` itself.
    char hex[33] = {};
    CMd5A md5;
    if (key)
        md5.HmacHex(data, key, hex);
    else
        md5.DigestHex(data, hex);
    std::memcpy(out, hex, sizeof hex);
    return 1;
}
