#include "SysIo.h"

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "Utf.h"
#endif

namespace qvdat {

namespace {

#ifdef _WIN32
std::wstring Wide(const std::string& utf8) {
    std::u16string u16;
    Utf8ToUtf16(utf8, &u16);
    return std::wstring(u16.begin(), u16.end());
}

FILE* Open(const std::string& path, const char* mode) {
    return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

// A console shows UTF-16 through WriteConsoleW; a pipe or file gets the
// UTF-8 bytes, the same on both systems.
void Print(DWORD which, FILE* stream, const std::string& utf8) {
    HANDLE h = ::GetStdHandle(which);
    DWORD mode = 0;
    if (h && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode)) {
        std::wstring w = Wide(utf8);
        DWORD written = 0;
        ::WriteConsoleW(h, w.c_str(), static_cast<DWORD>(w.size()), &written, nullptr);
        return;
    }
    _setmode(_fileno(stream), _O_BINARY);
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}
#else
FILE* Open(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

void Print(int, FILE* stream, const std::string& utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}
#endif

void Remove(const std::string& path) {
#ifdef _WIN32
    _wremove(Wide(path).c_str());
#else
    std::remove(path.c_str());
#endif
}

}  // namespace

bool ReadAll(const std::string& path, std::string* out) {
    out->clear();
    FILE* f = stdin;
    if (path == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
    } else {
        f = Open(path, "rb");
        if (!f) return false;
    }
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) out->append(buf, n);
    bool ok = !std::ferror(f);
    if (f != stdin) std::fclose(f);
    return ok;
}

bool WriteAll(const std::string& path, const std::string& bytes) {
    FILE* f = Open(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) Remove(path);
    return ok;
}

#ifdef _WIN32
void PrintOutput(const std::string& utf8) { Print(STD_OUTPUT_HANDLE, stdout, utf8); }
void PrintError(const std::string& utf8) { Print(STD_ERROR_HANDLE, stderr, utf8); }
#else
void PrintOutput(const std::string& utf8) { Print(1, stdout, utf8); }
void PrintError(const std::string& utf8) { Print(2, stderr, utf8); }
#endif

}  // namespace qvdat

#ifdef _WIN32
// Windows hands over arguments in UTF-16; narrow ones would lose every
// character outside the ANSI code page.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        std::wstring w = argv[i];
        args.push_back(qvdat::Utf16ToUtf8(std::u16string(w.begin(), w.end())));
    }
    return QvdatMain(args);
}
#else
int main(int argc, char** argv) {
    return QvdatMain(std::vector<std::string>(argv, argv + argc));
}
#endif
