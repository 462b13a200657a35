#pragma once
// Links and commands of the host system, for tests that must meet what an
// attacker can make: under Wine a symbolic link made on the host is shown
// as a reparse point (a folder) or opened as its target (a file), and a
// Windows program cannot make one itself.
#include <windows.h>

#include <functional>
#include <string>

#include "support/TestUtil.h"

namespace qvtest {

inline std::wstring WithoutTrailingSlash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

// The host system's name for a Windows path under Wine (UTF-8); empty
// elsewhere.
inline std::string HostPath(const std::wstring& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return std::string();
    char* name = unixName(WithoutTrailingSlash(path).c_str());
    std::string out = name ? name : "";
    ::HeapFree(::GetProcessHeap(), 0, name);
    return out;
}

// Runs a command of the host's shell under Wine (no double quotes in it)
// and waits until done() or a generous time-out. Wine starts a host
// program but gives no process to wait for.
inline bool RunHostShell(const std::string& script, const std::function<bool()>& done) {
    std::string line = "/bin/sh -c \"" + script + "\"";
    std::wstring wide(line.size() + 1, L'\0');
    wide.resize(static_cast<size_t>(::MultiByteToWideChar(
        CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), wide.data(),
        static_cast<int>(wide.size()))));
    RunProcess(wide, 30000, L"Z:\\bin\\sh");
    return PumpUntil(done, 120000);
}

// Makes link a symbolic link to target. Under Wine, a link of the host
// system (Wine shows one to a folder as a reparse point, and opens one to a
// file as its target); elsewhere a Windows link. False when none can be
// made.
inline bool MakeLink(const std::wstring& link, const std::wstring& target) {
    std::string targetName = HostPath(target);
    if (targetName.empty()) {
        DWORD attrs = ::GetFileAttributesW(target.c_str());
        DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
            flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
        return ::CreateSymbolicLinkW(link.c_str(), target.c_str(), flags) != 0;
    }
    std::wstring plain = WithoutTrailingSlash(link);
    size_t slash = plain.rfind(L'\\');
    std::string folderName = HostPath(plain.substr(0, slash));
    std::wstring leaf = plain.substr(slash + 1);
    std::string leafBytes(leaf.size() * 4 + 1, '\0');
    int n = ::WideCharToMultiByte(CP_UTF8, 0, leaf.c_str(), static_cast<int>(leaf.size()),
                                  leafBytes.data(), static_cast<int>(leafBytes.size()), nullptr,
                                  nullptr);
    leafBytes.resize(static_cast<size_t>(n > 0 ? n : 0));
    return !folderName.empty() &&
           RunHostShell("ln -s '" + targetName + "' '" + folderName + "/" + leafBytes + "'", [&] {
               return ::GetFileAttributesW(plain.c_str()) != INVALID_FILE_ATTRIBUTES;
           });
}

// Removes a link made by MakeLink, never its target: under Wine,
// DeleteFileW opens a host link to a file as the file and deletes that.
inline void RemoveLink(const std::wstring& link) {
    std::string name = HostPath(link);
    if (name.empty()) {
        if (!::RemoveDirectoryW(link.c_str())) ::DeleteFileW(link.c_str());
        return;
    }
    RunHostShell("rm -f '" + name + "'", [&] {
        WIN32_FIND_DATAW found;
        HANDLE find = ::FindFirstFileW(WithoutTrailingSlash(link).c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return true;
        ::FindClose(find);
        return false;
    });
}

}  // namespace qvtest
