#pragma once
// The reliability suite's scale and figures. The test command runs it small;
// tools/reliability.sh sets QV_RELIABILITY=full and collects the figures
// that each test appends to the file named by QV_FIGURES.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace reliability {

inline bool Full() {
    wchar_t level[16] = {};
    return ::GetEnvironmentVariableW(L"QV_RELIABILITY", level, 16) && std::wstring(level) == L"full";
}

// One row: what ran, how many crashed, how many files outside the product
// were lost, and what else was seen.
inline void Figure(const char* row, long runs, long crashes, long lost, const std::string& note) {
    char line[512];
    std::snprintf(line, sizeof(line), "%s|%ld|%ld|%ld|%s\n", row, runs, crashes, lost, note.c_str());
    std::fputs(line, stdout);
    wchar_t path[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"QV_FIGURES", path, MAX_PATH)) return;
    HANDLE f = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(f, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    ::CloseHandle(f);
}

// A small deterministic generator: a failing run can be repeated.
struct Rng {
    unsigned long long state;
    unsigned Next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state >> 33);
    }
    unsigned Below(unsigned n) { return n ? Next() % n : 0; }
};

}  // namespace reliability
