#pragma once
// Owners for Win32 handles. Each owner is move-only and remembers every
// argument it needs to release its handle (a window DC needs its window,
// a selection needs its DC).
#include <windows.h>
#include "base/QvWinInet.h"
#include <objidl.h>
#include <utility>

namespace qv {

template <typename T, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, Traits::invalid()));
        return *this;
    }
    T get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::invalid(); }
    T release() { return std::exchange(h_, Traits::invalid()); }
    void reset(T h = Traits::invalid()) {
        if (h_ != Traits::invalid()) Traits::close(h_);
        h_ = h;
    }
    T* put() { reset(); return &h_; }

private:
    T h_ = Traits::invalid();
};

struct HandleTraits {  // kernel objects that use null for "none"
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { ::CloseHandle(h); }
};
struct FileTraits {  // CreateFile and FindFirstFile family use INVALID_HANDLE_VALUE
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { ::CloseHandle(h); }
};
struct FindTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { ::FindClose(h); }
};
struct MemDCTraits {
    static HDC invalid() { return nullptr; }
    static void close(HDC h) { ::DeleteDC(h); }
};
template <typename G>
struct GdiTraits {
    static G invalid() { return nullptr; }
    static void close(G h) { ::DeleteObject(h); }
};
struct KeyTraits {
    static HKEY invalid() { return nullptr; }
    static void close(HKEY h) { ::RegCloseKey(h); }
};
struct InternetTraits {
    static HINTERNET invalid() { return nullptr; }
    static void close(HINTERNET h) { ::InternetCloseHandle(h); }
};
struct ViewTraits {
    static void* invalid() { return nullptr; }
    static void close(void* p) { ::UnmapViewOfFile(p); }
};
struct ModuleTraits {
    static HMODULE invalid() { return nullptr; }
    static void close(HMODULE h) { ::FreeLibrary(h); }
};
struct GlobalTraits {
    static HGLOBAL invalid() { return nullptr; }
    static void close(HGLOBAL h) { ::GlobalFree(h); }
};

using ScopedHandle = UniqueHandle<HANDLE, HandleTraits>;
using ScopedFile = UniqueHandle<HANDLE, FileTraits>;
using ScopedFind = UniqueHandle<HANDLE, FindTraits>;
using ScopedMemDC = UniqueHandle<HDC, MemDCTraits>;
using ScopedBitmap = UniqueHandle<HBITMAP, GdiTraits<HBITMAP>>;
using ScopedFont = UniqueHandle<HFONT, GdiTraits<HFONT>>;
using ScopedPen = UniqueHandle<HPEN, GdiTraits<HPEN>>;
using ScopedBrush = UniqueHandle<HBRUSH, GdiTraits<HBRUSH>>;
using ScopedRgn = UniqueHandle<HRGN, GdiTraits<HRGN>>;
using ScopedKey = UniqueHandle<HKEY, KeyTraits>;
using ScopedInternet = UniqueHandle<HINTERNET, InternetTraits>;
using ScopedView = UniqueHandle<void*, ViewTraits>;
using ScopedModule = UniqueHandle<HMODULE, ModuleTraits>;
using ScopedGlobal = UniqueHandle<HGLOBAL, GlobalTraits>;

// DC borrowed from a window with GetDC; released to that same window.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND wnd) : wnd_(wnd), dc_(::GetDC(wnd)) {}
    ~ScopedWindowDC() { if (dc_) ::ReleaseDC(wnd_, dc_); }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND wnd_;
    HDC dc_;
};

// BeginPaint/EndPaint pair.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND wnd) : wnd_(wnd) { dc_ = ::BeginPaint(wnd, &ps_); }
    ~ScopedPaint() { ::EndPaint(wnd_, &ps_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;
    HDC get() const { return dc_; }
    const PAINTSTRUCT& info() const { return ps_; }

private:
    HWND wnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ obj) : dc_(dc), prev_(obj ? ::SelectObject(dc, obj) : nullptr) {}
    ~ScopedSelect() { if (prev_) ::SelectObject(dc_, prev_); }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ prev_;
};

// Owns a critical section: initialised with the owner, deleted with it.
class CriticalSection {
public:
    CriticalSection() { ::InitializeCriticalSection(&cs_); }
    ~CriticalSection() { ::DeleteCriticalSection(&cs_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    CRITICAL_SECTION* get() { return &cs_; }

private:
    CRITICAL_SECTION cs_;
};

// Holds a critical section for one scope.
class ScopedCriticalSection {
public:
    explicit ScopedCriticalSection(CRITICAL_SECTION* cs) : cs_(cs) { ::EnterCriticalSection(cs_); }
    explicit ScopedCriticalSection(CriticalSection& cs) : ScopedCriticalSection(cs.get()) {}
    ~ScopedCriticalSection() { ::LeaveCriticalSection(cs_); }
    ScopedCriticalSection(const ScopedCriticalSection&) = delete;
    ScopedCriticalSection& operator=(const ScopedCriticalSection&) = delete;

private:
    CRITICAL_SECTION* cs_;
};

// Owning COM pointer.
template <typename I>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(I* p) : p_(p) {}  // adopts a reference
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& o) : p_(o.p_) { if (p_) p_->AddRef(); }
    ComPtr& operator=(const ComPtr& o) {
        if (o.p_) o.p_->AddRef();
        reset(o.p_);
        return *this;
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) reset(std::exchange(o.p_, nullptr));
        return *this;
    }
    I* get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    I** put() { reset(); return &p_; }
    I* detach() { return std::exchange(p_, nullptr); }
    void reset(I* p = nullptr) {
        if (p_) p_->Release();
        p_ = p;
    }

private:
    I* p_ = nullptr;
};

// CoInitialize/CoUninitialize pair for threads that use COM.
class ScopedCom {
public:
    ScopedCom() : ok_(SUCCEEDED(::CoInitialize(nullptr))) {}
    ~ScopedCom() { if (ok_) ::CoUninitialize(); }
    ScopedCom(const ScopedCom&) = delete;
    ScopedCom& operator=(const ScopedCom&) = delete;

private:
    bool ok_;
};

}  // namespace qv
