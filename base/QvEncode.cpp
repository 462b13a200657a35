// The XOR scrambler, hexadecimal text and the string and file encodings
// built on them.
#include "base/QvDigest.h"

#include <climits>

#include "base/QvScoped.h"

namespace {

constexpr int kFileBlock = 1024;

// Upper-case digits decode correctly; a letter is taken as its code minus
// 55 whatever its case, which stored encodings depend on.
int HexValue(char c) {
    const int code = static_cast<unsigned char>(c);
    return code > '@' ? code - 55 : code - 48;
}

}  // namespace

void EasyEncode(char* data, int len) {
    if (!data) return;
    for (int i = 0; i < len; ++i) data[i] = static_cast<char>(data[i] ^ ((i + 8) & 0xFF));
}

void ToHex(char* data, int len) {
    // 2 * len + 1 must itself be a size: beyond that no buffer can hold the
    // text, and the index would wrap to before the buffer.
    if (!data || len < 0 || len > (INT_MAX - 1) / 2) return;
    ToHexEx(data, len, 2 * len + 1);
}

int ToHexEx(char* data, int len, int dataSize) {
    if (!data || len < 0 || dataSize < 0 ||
        2 * static_cast<long long>(len) + 1 > static_cast<long long>(dataSize))
        return 0;
    static const char kDigits[] = "0123456789ABCDEF";
    const size_t n = static_cast<size_t>(len);
    data[2 * n] = '\0';
    // From the end, so that no byte is overwritten before it is read.
    for (size_t i = n; i-- > 0;) {
        const auto byte = static_cast<unsigned char>(data[i]);
        data[2 * i] = kDigits[byte >> 4];
        data[2 * i + 1] = kDigits[byte & 0xF];
    }
    return 1;
}

void ToAsc(char* data, int len) {
    if (!data || len < 0) return;
    const int bytes = len / 2;
    for (int j = 0; j < bytes; ++j)
        data[j] = static_cast<char>((16 * HexValue(data[2 * j]) + HexValue(data[2 * j + 1])) & 0xFF);
    data[bytes] = '\0';
}

void QvEncode(const char* key, char* data, int len, int encrypt) {
    if (!data || len < 0 || (encrypt && len > (INT_MAX - 1) / 2)) return;
    if (encrypt) {
        DesGo(key, data, len, 1);
        EasyEncode(data, len);
        ToHex(data, len);
    } else {
        ToAsc(data, len);
        EasyEncode(data, len / 2);
        DesGo(key, data, len / 2, 0);
        data[len / 2] = '\0';
    }
}

int QvEncodeFile(const wchar_t* src, const wchar_t* dst) {
    if (!src || !dst) return 0;
    qv::ScopedFile in(::CreateFileW(src, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in) return 0;
    qv::ScopedFile out(::CreateFileW(dst, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return 0;
    char block[kFileBlock];
    for (;;) {
        // The scrambler's key restarts with every block: a block must be
        // full unless it is the file's last.
        DWORD got = 0;
        while (got < sizeof block) {
            DWORD part = 0;
            if (!::ReadFile(in.get(), block + got, sizeof block - got, &part, nullptr)) return 0;
            if (!part) break;
            got += part;
        }
        if (!got) return 1;
        EasyEncode(block, static_cast<int>(got));
        DWORD written = 0;
        if (!::WriteFile(out.get(), block, got, &written, nullptr) || written != got) return 0;
    }
}
