// DES (FIPS 46-3) in ECB mode. Bits are numbered from 1 at the most
// significant end, as the standard's tables number them.
#include "base/QvDigest.h"

#include <cstring>

namespace {

using u8 = unsigned char;

constexpr u8 kInitialPerm[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr u8 kExpansion[48] = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

constexpr u8 kRoundPerm[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                               2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

// Permuted choice 1: 56 key bits, the parity bits (8, 16, ...) left out.
constexpr u8 kKeyChoice1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
    35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
    46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr u8 kKeyChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr u8 kKeyShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr u8 kSBox[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0,  7,
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3,  8,
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5,  0,
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10,
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15,
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15,
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14,
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6,
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};

// Output bit i (from the top) is input bit table[i] of an `inBits`-wide
// value.
template <size_t N>
uint64_t Permute(uint64_t in, int inBits, const u8 (&table)[N]) {
    uint64_t out = 0;
    for (size_t i = 0; i < N; ++i) out = (out << 1) | ((in >> (inBits - table[i])) & 1);
    return out;
}

uint64_t InversePermute(uint64_t in) {
    uint64_t out = 0;
    for (int i = 0; i < 64; ++i)
        out |= ((in >> (63 - i)) & 1) << (64 - kInitialPerm[i]);
    return out;
}

uint32_t Rotl28(uint32_t v, int n) {
    return ((v << n) | (v >> (28 - n))) & 0x0FFFFFFF;
}

// The 16 round keys of 48 bits, two 24-bit words each, in the order of
// one direction: reversed for decryption.
struct KeySchedule {
    uint32_t words[32];
};

KeySchedule MakeSchedule(const u8 key[8], bool encrypt) {
    uint64_t k = 0;
    for (int i = 0; i < 8; ++i) k = (k << 8) | key[i];
    const uint64_t cd = Permute(k, 64, kKeyChoice1);
    uint32_t c = static_cast<uint32_t>(cd >> 28) & 0x0FFFFFFF;
    uint32_t d = static_cast<uint32_t>(cd) & 0x0FFFFFFF;
    KeySchedule ks{};
    for (int round = 0; round < 16; ++round) {
        c = Rotl28(c, kKeyShifts[round]);
        d = Rotl28(d, kKeyShifts[round]);
        const uint64_t sub = Permute(static_cast<uint64_t>(c) << 28 | d, 56, kKeyChoice2);
        const int slot = encrypt ? round : 15 - round;
        ks.words[2 * slot] = static_cast<uint32_t>(sub >> 24) & 0xFFFFFF;
        ks.words[2 * slot + 1] = static_cast<uint32_t>(sub) & 0xFFFFFF;
    }
    return ks;
}

uint32_t Feistel(uint32_t r, uint32_t hi, uint32_t lo) {
    const uint64_t x = Permute(r, 32, kExpansion) ^ (static_cast<uint64_t>(hi) << 24 | lo);
    uint32_t s = 0;
    for (int box = 0; box < 8; ++box) {
        const unsigned six = static_cast<unsigned>(x >> (42 - 6 * box)) & 0x3F;
        // Outer bits pick the row, inner four the column.
        const unsigned row = ((six >> 4) & 2) | (six & 1);
        const unsigned col = (six >> 1) & 0xF;
        s = (s << 4) | kSBox[box][row * 16 + col];
    }
    return static_cast<uint32_t>(Permute(s, 32, kRoundPerm));
}

uint64_t CryptBlock(uint64_t block, const KeySchedule& ks) {
    const uint64_t ip = Permute(block, 64, kInitialPerm);
    uint32_t l = static_cast<uint32_t>(ip >> 32);
    uint32_t r = static_cast<uint32_t>(ip);
    for (int round = 0; round < 16; ++round) {
        const uint32_t next = l ^ Feistel(r, ks.words[2 * round], ks.words[2 * round + 1]);
        l = r;
        r = next;
    }
    // The halves are swapped once more before the final permutation.
    return InversePermute(static_cast<uint64_t>(r) << 32 | l);
}

}  // namespace

void DesGo(const char* key, char* data, int len, int encrypt) {
    if (!key) return;
    // The key is a C string: a shorter one is padded with zeros, never read
    // past its terminator. Keys of 8 bytes or more work as before.
    int keyLen = 0;
    while (keyLen < 8 && key[keyLen]) ++keyLen;
    DesGoEx(key, keyLen, data, len, encrypt);
}

void DesGoEx(const char* key, int keyLen, char* data, int len, int encrypt) {
    if (!key || keyLen < 0 || !data || len < 8) return;
    u8 k[8] = {};
    std::memcpy(k, key, static_cast<size_t>(keyLen < 8 ? keyLen : 8));
    KeySchedule ks = MakeSchedule(k, encrypt != 0);
    ::SecureZeroMemory(k, sizeof k);
    auto* p = reinterpret_cast<u8*>(data);
    for (int block = 0; block < len / 8; ++block, p += 8) {
        // Big-endian: the first byte holds bits 1 to 8.
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
        v = CryptBlock(v, ks);
        for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<u8>(v);
    }
    ::SecureZeroMemory(&ks, sizeof ks);
}
