#pragma once
// Owners for the handles of the shell and system-integration helpers:
// icons, service handles, certificate stores and contexts, shell item ID
// lists, open resource updates, the open clipboard and locked global memory.
// Built on the owners of QvScoped.h and, like them, move-only.
#include <windows.h>
#include <shlobj.h>
#include <wincrypt.h>

#include <utility>

#include "base/QvScoped.h"
#include "base/QvSystemDll.h"

namespace qv {

struct IconTraits {
    static HICON invalid() { return nullptr; }
    static void close(HICON h) { ::DestroyIcon(h); }
};
struct ServiceTraits {  // service and service-manager handles
    static SC_HANDLE invalid() { return nullptr; }
    static void close(SC_HANDLE h) { ::CloseServiceHandle(h); }
};
// crypt32 is loaded when first used; a store or context means it is.
struct CertStoreTraits {
    static HCERTSTORE invalid() { return nullptr; }
    static void close(HCERTSTORE h) {
        auto closeStore = SystemFn<decltype(&::CertCloseStore)>(L"crypt32.dll", "CertCloseStore");
        if (closeStore) closeStore(h, 0);
    }
};
struct CertContextTraits {
    static PCCERT_CONTEXT invalid() { return nullptr; }
    static void close(PCCERT_CONTEXT c) {
        auto release = SystemFn<decltype(&::CertFreeCertificateContext)>(
            L"crypt32.dll", "CertFreeCertificateContext");
        if (release) release(c);
    }
};
struct ItemIdTraits {  // ID lists handed out by the shell
    static PIDLIST_ABSOLUTE invalid() { return nullptr; }
    static void close(PIDLIST_ABSOLUTE p) { ::CoTaskMemFree(p); }
};
struct CoTaskStringTraits {
    static wchar_t* invalid() { return nullptr; }
    static void close(wchar_t* p) { ::CoTaskMemFree(p); }
};
// An unfinished resource update is discarded: the file stays as it was
// unless commit() succeeded.
struct ResourceUpdateTraits {
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { ::EndUpdateResourceW(h, TRUE); }
};

using ScopedIcon = UniqueHandle<HICON, IconTraits>;
using ScopedService = UniqueHandle<SC_HANDLE, ServiceTraits>;
using ScopedCertStore = UniqueHandle<HCERTSTORE, CertStoreTraits>;
using ScopedCertContext = UniqueHandle<PCCERT_CONTEXT, CertContextTraits>;
using ScopedItemId = UniqueHandle<PIDLIST_ABSOLUTE, ItemIdTraits>;
using ScopedCoTaskString = UniqueHandle<wchar_t*, CoTaskStringTraits>;
using ScopedResourceUpdate = UniqueHandle<HANDLE, ResourceUpdateTraits>;

// The clipboard, opened for the calling thread and closed on scope exit.
class ScopedClipboard {
public:
    explicit ScopedClipboard(HWND owner = nullptr) : open_(::OpenClipboard(owner) != FALSE) {}
    ~ScopedClipboard() { if (open_) ::CloseClipboard(); }
    ScopedClipboard(const ScopedClipboard&) = delete;
    ScopedClipboard& operator=(const ScopedClipboard&) = delete;
    explicit operator bool() const { return open_; }

private:
    bool open_;
};

// GlobalLock/GlobalUnlock pair; the memory itself is not owned.
class ScopedGlobalLock {
public:
    explicit ScopedGlobalLock(HGLOBAL mem) : mem_(mem), data_(mem ? ::GlobalLock(mem) : nullptr) {}
    ~ScopedGlobalLock() { if (data_) ::GlobalUnlock(mem_); }
    ScopedGlobalLock(const ScopedGlobalLock&) = delete;
    ScopedGlobalLock& operator=(const ScopedGlobalLock&) = delete;
    void* get() const { return data_; }
    SIZE_T size() const { return data_ ? ::GlobalSize(mem_) : 0; }

private:
    HGLOBAL mem_;
    void* data_;
};

// A property value read from a property storage, cleared on scope exit.
class ScopedPropVariant {
public:
    ScopedPropVariant() { ::PropVariantInit(&value_); }
    ~ScopedPropVariant() { ::PropVariantClear(&value_); }
    ScopedPropVariant(const ScopedPropVariant&) = delete;
    ScopedPropVariant& operator=(const ScopedPropVariant&) = delete;
    PROPVARIANT* get() { return &value_; }
    const PROPVARIANT& operator*() const { return value_; }

private:
    PROPVARIANT value_;
};

}  // namespace qv
