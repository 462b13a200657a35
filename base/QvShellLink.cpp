// Shortcut (.lnk) files through the shell-link object.
#include "base/QvShell.h"

#include <shlobj.h>

#include <cwchar>
#include <string>

#include "base/QvScoped.h"
#include "base/QvUtil.h"

namespace {

struct Link {
    qv::ComPtr<IShellLinkW> link;
    qv::ComPtr<IPersistFile> file;
};

HRESULT NewLink(Link& out) {
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IShellLinkW, reinterpret_cast<void**>(out.link.put()));
    if (FAILED(hr)) return hr;
    return out.link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(out.file.put()));
}

HRESULT LoadLink(const wchar_t* lnk, DWORD mode, Link& out) {
    if (!lnk) return E_INVALIDARG;
    HRESULT hr = NewLink(out);
    return FAILED(hr) ? hr : out.file->Load(lnk, mode);
}

}  // namespace

int CreateShortcut(const wchar_t* folder, const wchar_t* name, const wchar_t* target,
                   const wchar_t* icon, WORD hotkey, const wchar_t* description, int show) {
    if (!folder || !name) return 0;
    Link link;
    if (FAILED(NewLink(link))) return 0;

    wchar_t self[MAX_PATH] = {};
    std::wstring workDir;
    if (target) {
        std::wstring t = target;
        size_t slash = t.rfind(L'\\');
        if (slash != std::wstring::npos) workDir = t.substr(0, slash);
    } else {
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        wchar_t dir[MAX_PATH] = {};
        GetCurPath(dir);
        workDir = dir;
    }
    if (FAILED(link.link->SetPath(target ? target : self))) return 0;
    if (!workDir.empty()) link.link->SetWorkingDirectory(workDir.c_str());
    if (icon) link.link->SetIconLocation(icon, 0);
    if (hotkey) link.link->SetHotkey(hotkey);
    if (description) link.link->SetDescription(description);
    link.link->SetShowCmd(show);

    std::wstring path = std::wstring(folder) + L"\\" + name + L".lnk";
    return SUCCEEDED(link.file->Save(path.c_str(), TRUE)) ? 1 : 0;
}

long LnkToRealPath(const wchar_t* lnk, wchar_t* out) {
    if (out) out[0] = 0;
    qv::ScopedCom com;
    Link link;
    HRESULT hr = LoadLink(lnk, STGM_READ, link);
    if (FAILED(hr)) return hr;
    wchar_t path[MAX_PATH] = {};
    hr = link.link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH);
    if (SUCCEEDED(hr) && out) std::wcscpy(out, path);
    return hr;
}

int GetShortcutIcon(const wchar_t* lnk, wchar_t* out, int* index) {
    if (!out) return 0;
    out[0] = 0;
    Link link;
    if (FAILED(LoadLink(lnk, STGM_READ, link))) return 0;
    int at = 0;
    if (FAILED(link.link->GetIconLocation(out, MAX_PATH, &at))) {
        out[0] = 0;
        return 0;
    }
    if (!out[0]) {
        at = 0;
        if (FAILED(link.link->GetPath(out, MAX_PATH, nullptr, SLGP_RAWPATH))) {
            out[0] = 0;
            return 0;
        }
    }
    if (index) *index = at;
    return 1;
}

int SetShortcutIcon(const wchar_t* lnk, const wchar_t* icon) {
    Link link;
    if (FAILED(LoadLink(lnk, STGM_READWRITE, link))) return 0;
    if (icon && FAILED(link.link->SetIconLocation(icon, 0))) return 0;
    // Saved under its own name: not every shell writes back to the loaded
    // file when given none.
    return SUCCEEDED(link.file->Save(lnk, TRUE)) ? 1 : 0;
}
