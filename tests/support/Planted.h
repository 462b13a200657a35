#pragma once
// Files planted where an elevated program might load them: a folder that
// everyone may write, holding a copy of the zlib1.dll beside the test
// program, and a proxy.dat beside the test program.
#include <windows.h>

#include <cwchar>
#include <string>

#include "base/QvNet.h"
#include "base/QvScoped.h"
#include "base/QvUtil.h"
#include "support/TestUtil.h"

namespace qvtest {

// "<dir>open\" with everyone allowed everything, and zlib1.dll in it; empty
// when it could not be made.
inline std::wstring PlantZlib(const TempDir& dir) {
    std::wstring folder = dir / L"open\\";
    wchar_t own[MAX_PATH] = {};
    GetCurPath(own);
    // Set after the folder is made: Wine keeps an entry for everyone as the
    // host's o+w, but not from the descriptor given at creation.
    if (!::CreateDirectoryW(folder.c_str(), nullptr) ||
        !::CopyFileW((std::wstring(own) + L"zlib1.dll").c_str(), (folder + L"zlib1.dll").c_str(),
                     FALSE) ||
        !SetSddl(folder, L"D:(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)"))
        return L"";
    return folder;
}

// A module of the product's loaded from folder (a copy of zlib1.dll named
// product.dll): CQvZlib::InitZlib looks beside the module it is named.
inline qv::ScopedModule LoadProductModule(const std::wstring& folder) {
    std::wstring module = folder + L"product.dll";
    if (!::CopyFileW((folder + L"zlib1.dll").c_str(), module.c_str(), FALSE))
        return qv::ScopedModule();
    return qv::ScopedModule(::LoadLibraryW(module.c_str()));
}

// Has CQvNet read a proxy.dat that sends everything through 127.0.0.1:port;
// with sddl, the file's security is set to it first (an elevated program
// trusts a file that only its own account, administrators and the system
// can change). Other test programs share the folder: the file lives only
// long enough to be read.
inline bool LoadPlantedProxy(int port, const wchar_t* user, const wchar_t* password,
                             const wchar_t* sddl = nullptr) {
    tagProxyInfo proxy{};
    proxy.enabled = 1;
    std::wcscpy(proxy.host, L"127.0.0.1");
    std::wcscpy(proxy.port, std::to_wstring(port).c_str());
    std::wcscpy(proxy.user, user);
    std::wcscpy(proxy.password, password);
    wchar_t own[MAX_PATH] = {};
    GetCurPath(own);
    std::wstring file = std::wstring(own) + L"proxy.dat";
    if (!WriteFileBytes(file, &proxy, sizeof(proxy))) return false;
    if (sddl && !SetSddl(file, sddl)) {
        ::DeleteFileW(file.c_str());
        return false;
    }
    CQvNet::Instance().LoadProxyConfig();
    ::DeleteFileW(file.c_str());
    return true;
}

}  // namespace qvtest
