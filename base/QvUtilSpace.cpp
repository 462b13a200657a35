// Space taken by a drive or a folder tree.
#include "base/QvUtil.h"

#include <oleauto.h>

#include <cwchar>

#include "base/QvScoped.h"

namespace {

// Calls a method or reads a property of an automation object by name.
HRESULT InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* arg,
                     VARIANT* result) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS params{arg, nullptr, arg ? 1u : 0u, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                          nullptr);
}

class ScopedVariant {
public:
    ScopedVariant() { ::VariantInit(&v_); }
    ~ScopedVariant() { ::VariantClear(&v_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT* get() { return &v_; }

private:
    VARIANT v_;
};

// The scripting runtime sums the tree for us, including files we could not
// enumerate one by one without walking the whole tree ourselves.
unsigned __int64 FolderSize(const wchar_t* path) {
    qv::ScopedCom com;
    CLSID clsid{};
    if (FAILED(::CLSIDFromProgID(L"Scripting.FileSystemObject", &clsid))) return 0;
    qv::ComPtr<IDispatch> fso;
    if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(fso.put())))) {
        return 0;
    }
    ScopedVariant arg;
    arg.get()->vt = VT_BSTR;
    arg.get()->bstrVal = ::SysAllocString(path);
    if (!arg.get()->bstrVal) return 0;
    ScopedVariant folder;
    if (FAILED(InvokeByName(fso.get(), L"GetFolder", DISPATCH_METHOD, arg.get(), folder.get())) ||
        folder.get()->vt != VT_DISPATCH || !folder.get()->pdispVal) {
        return 0;
    }
    ScopedVariant size;
    if (FAILED(InvokeByName(folder.get()->pdispVal, L"Size", DISPATCH_PROPERTYGET, nullptr,
                            size.get()))) {
        return 0;
    }
    // Size comes back as a double for trees above 2 GB, else as an integer.
    if (FAILED(::VariantChangeType(size.get(), size.get(), 0, VT_R8))) return 0;
    double bytes = size.get()->dblVal;
    return bytes > 0 ? static_cast<unsigned __int64>(bytes) : 0;
}

}  // namespace

unsigned __int64 GetPathUseSpace(const wchar_t* path) {
    if (!path || !path[0]) return 0;
    if (std::wcslen(path) == 3) {
        ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
        if (!::GetDiskFreeSpaceExW(path, &freeToCaller, &total, &totalFree)) return 0;
        return total.QuadPart - freeToCaller.QuadPart;
    }
    return FolderSize(path);
}
