// Internet shortcuts (.url files) and the icons they name.
#include "base/QvShell.h"

#include <intshcut.h>
#include <shlguid.h>
#include <shlobj.h>
#include <urlmon.h>
#include "base/QvWinInet.h"

#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "base/QvScoped.h"
#include "base/QvShellScoped.h"
#include "base/QvShellUrlName.h"
#include "base/QvSystemDll.h"

namespace {

struct UrlLink {
    qv::ComPtr<IUniformResourceLocatorW> url;
    qv::ComPtr<IPersistFile> file;
};

HRESULT NewUrlLink(UrlLink& out) {
    HRESULT hr = ::CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IUniformResourceLocatorW,
                                    reinterpret_cast<void**>(out.url.put()));
    if (FAILED(hr)) return hr;
    return out.url->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(out.file.put()));
}

HRESULT LoadUrlLink(const wchar_t* file, UrlLink& out) {
    if (!file) return E_INVALIDARG;
    HRESULT hr = NewUrlLink(out);
    return FAILED(hr) ? hr : out.file->Load(file, STGM_READ);
}

// A string property of an internet shortcut's property set; empty when the
// set or the property is missing or holds something else.
std::wstring ReadStringProperty(const wchar_t* file, REFFMTID set, PROPID id) {
    UrlLink link;
    if (FAILED(LoadUrlLink(file, link))) return {};
    qv::ComPtr<IPropertySetStorage> sets;
    if (FAILED(link.url->QueryInterface(IID_IPropertySetStorage,
                                        reinterpret_cast<void**>(sets.put())))) {
        return {};
    }
    qv::ComPtr<IPropertyStorage> props;
    if (FAILED(sets->Open(set, STGM_READ | STGM_SHARE_EXCLUSIVE, props.put()))) return {};
    PROPSPEC property{};
    property.ulKind = PRSPEC_PROPID;
    property.propid = id;
    qv::ScopedPropVariant value;
    if (props->ReadMultiple(1, &property, value.get()) != S_OK) return {};
    if ((*value).vt == VT_LPWSTR && (*value).pwszVal) return (*value).pwszVal;
    if ((*value).vt == VT_BSTR && (*value).bstrVal) return (*value).bstrVal;
    return {};
}

bool CopyOut(const std::wstring& text, wchar_t* out) {
    if (text.empty() || text.size() >= MAX_PATH) return false;
    std::wcscpy(out, text.c_str());
    return true;
}

bool IsFile(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

int CreateUrlShortcut(const wchar_t* file, const wchar_t* url) {
    if (!file || !url) return 0;
    UrlLink link;
    if (FAILED(NewUrlLink(link))) return 0;
    if (FAILED(link.url->SetURL(url, 0))) return 0;
    return SUCCEEDED(link.file->Save(file, TRUE)) ? 1 : 0;
}

int GetShortcutUrl(const wchar_t* file, wchar_t* out) {
    if (!out) return 0;
    out[0] = 0;
    UrlLink link;
    if (FAILED(LoadUrlLink(file, link))) return 0;
    qv::ScopedCoTaskString url;
    if (FAILED(link.url->GetURL(url.put())) || !url) return 0;
    // A URL cut to fit would lead somewhere else: refuse it instead.
    return CopyOut(url.get(), out) ? 1 : 0;
}

int GetUrlShortcutIcon(const wchar_t* file, wchar_t* out, int download) {
    if (!out) return 0;
    out[0] = 0;
    std::wstring iconUrl = ReadStringProperty(file, FMTID_Intshcut, PID_IS_ICONFILE);
    if (iconUrl.empty()) return 0;
    std::wstring name = qv::IconCacheName(iconUrl);
    wchar_t temp[MAX_PATH] = {};
    DWORD length = ::GetTempPathW(MAX_PATH, temp);
    if (name.empty() || length == 0 || length >= MAX_PATH) return 0;
    std::wstring local = std::wstring(temp) + name;
    if (local.size() >= MAX_PATH) return 0;
    if (!IsFile(local)) {
        if (!download) return 0;
        auto download =
            qv::SystemFn<decltype(&::URLDownloadToFileW)>(L"urlmon.dll", "URLDownloadToFileW");
        if (!download ||
            download(nullptr, iconUrl.c_str(), local.c_str(), 0, nullptr) != S_OK ||
            !IsFile(local)) {
            return 0;
        }
    }
    return CopyOut(local, out) ? 1 : 0;
}

int GetUrlCacheIconPath(const wchar_t* file, wchar_t* out) {
    if (!out) return 0;
    out[0] = 0;
    std::wstring iconUrl = ReadStringProperty(file, FMTID_InternetSite, PID_INTSITE_ICONFILE);
    if (iconUrl.empty()) return 0;
    DWORD size = 0;
    ::GetUrlCacheEntryInfoW(iconUrl.c_str(), nullptr, &size);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size < sizeof(INTERNET_CACHE_ENTRY_INFOW)) {
        return 0;
    }
    // Kept aligned for the structure at its start.
    std::vector<ULONGLONG> buffer((size + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG));
    auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    if (!::GetUrlCacheEntryInfoW(iconUrl.c_str(), entry, &size) || !entry->lpszLocalFileName) {
        return 0;
    }
    return CopyOut(entry->lpszLocalFileName, out) ? 1 : 0;
}

HICON GetUrlCacheIcon(const wchar_t* file, int size) {
    wchar_t path[MAX_PATH] = {};
    if (!GetUrlCacheIconPath(file, path)) return nullptr;
    return static_cast<HICON>(
        ::LoadImageW(nullptr, path, IMAGE_ICON, size, size, LR_LOADFROMFILE));
}
