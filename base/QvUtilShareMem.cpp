// Named shared memory: small texts and records passed between processes.
#include "base/QvUtil.h"

#include <cstring>
#include <cwchar>

#include "base/QvScoped.h"

namespace {

// The section's own size, as given when it was created. The view itself is
// rounded up to whole pages, so it is only the fallback.
SIZE_T SectionSize(HANDLE mapping, void* view) {
    struct SectionBasicInformation {
        PVOID base;
        ULONG attributes;
        LARGE_INTEGER size;
    };
    using QuerySection = LONG(NTAPI*)(HANDLE, int, PVOID, SIZE_T, PSIZE_T);
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto query = reinterpret_cast<QuerySection>(
        reinterpret_cast<void*>(ntdll ? ::GetProcAddress(ntdll, "NtQuerySection") : nullptr));
    SectionBasicInformation info{};
    if (query && query(mapping, 0, &info, sizeof(info), nullptr) >= 0 && info.size.QuadPart > 0) {
        return static_cast<SIZE_T>(info.size.QuadPart);
    }
    MEMORY_BASIC_INFORMATION mbi{};
    return ::VirtualQuery(view, &mbi, sizeof(mbi)) ? mbi.RegionSize : 0;
}

// An opened and mapped section, released on scope exit.
class SharedView {
public:
    SharedView(const wchar_t* name, bool write) {
        if (!name) return;
        DWORD access = write ? FILE_MAP_ALL_ACCESS : (FILE_MAP_READ | SECTION_QUERY);
        mapping_.reset(::OpenFileMappingW(access, FALSE, name));
        if (!mapping_) return;
        view_.reset(::MapViewOfFile(mapping_.get(), write ? FILE_MAP_ALL_ACCESS : FILE_MAP_READ,
                                    0, 0, 0));
        if (view_) size_ = SectionSize(mapping_.get(), view_.get());
    }
    explicit operator bool() const { return static_cast<bool>(view_); }
    BYTE* bytes() const { return static_cast<BYTE*>(view_.get()); }
    SIZE_T size() const { return size_; }
    // Whether [at, at + count) lies inside the section.
    bool Fits(long long at, long long count) const {
        return at >= 0 && count >= 0 && static_cast<unsigned long long>(at + count) <= size_;
    }

private:
    qv::ScopedHandle mapping_;
    qv::ScopedView view_;
    SIZE_T size_ = 0;
};

}  // namespace

HANDLE CreateShareMem(const wchar_t* name, DWORD size) {
    return ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
}

int isExistsShareMem(const wchar_t* name) {
    if (!name) return 0;
    qv::ScopedHandle mapping(::OpenFileMappingW(FILE_MAP_READ, FALSE, name));
    return mapping ? 1 : 0;
}

int WriteShareMem(const wchar_t* name, const wchar_t* text, int at) {
    if (!text) return 0;
    SharedView view(name, true);
    if (!view) return 0;
    long long bytes = static_cast<long long>(std::wcslen(text) + 1) * sizeof(wchar_t);
    if (!view.Fits(static_cast<long long>(at) * sizeof(wchar_t), bytes)) return 0;
    std::memcpy(view.bytes() + static_cast<SIZE_T>(at) * sizeof(wchar_t), text,
                static_cast<size_t>(bytes));
    return 1;
}

int ReadShareMem(const wchar_t* name, wchar_t* out) {
    if (!out) return 0;
    SharedView view(name, false);
    if (!view) return 0;
    // The writer may have left the text unterminated: stop at the end.
    const wchar_t* text = reinterpret_cast<const wchar_t*>(view.bytes());
    size_t units = view.size() / sizeof(wchar_t);
    size_t len = 0;
    while (len < units && text[len]) ++len;
    std::memcpy(out, text, len * sizeof(wchar_t));
    out[len] = L'\0';
    return 1;
}

int WriteShareMem2(const wchar_t* name, void* data, int size, int at) {
    if (!data && size) return 0;
    SharedView view(name, true);
    if (!view || !view.Fits(at, size)) return 0;
    std::memcpy(view.bytes() + at, data, static_cast<size_t>(size));
    return 1;
}

int ReadShareMem2(const wchar_t* name, void* out, int size, int at) {
    if (!out && size) return 0;
    SharedView view(name, false);
    if (!view || !view.Fits(at, size)) return 0;
    std::memcpy(out, view.bytes() + at, static_cast<size_t>(size));
    return 1;
}
