// A screen reader's first look at a window, from another process: the
// client object's name, role and children through oleacc, one line each
// ("ID<TAB>NAME<TAB>ROLE<TAB>STATE<TAB>VALUE<TAB>LEFT,TOP,WIDTH,HEIGHT"),
// written UTF-8 to the file given; optionally the default action of the
// child of a given name.
//   qvprobe.exe TITLE OUTFILE [PRESS-NAME]
#include <windows.h>
#include <objbase.h>
#include <oleacc.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

VARIANT Child(LONG id) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::wstring Take(BSTR text) {
    std::wstring s = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
    ::SysFreeString(text);
    return s;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    HWND wnd = ::FindWindowW(nullptr, argv[1]);
    if (!wnd) return 4;
    IAccessible* acc = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(wnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                            reinterpret_cast<void**>(&acc))) ||
        !acc)
        return 5;
    FILE* out = _wfopen(argv[2], L"wb");
    if (!out) return 6;
    LONG count = 0;
    acc->get_accChildCount(&count);
    LONG pressed = -1;
    for (LONG id = 0; id <= count; ++id) {
        BSTR name = nullptr, value = nullptr;
        acc->get_accName(Child(id), &name);
        acc->get_accValue(Child(id), &value);
        VARIANT role, state;
        ::VariantInit(&role);
        ::VariantInit(&state);
        acc->get_accRole(Child(id), &role);
        acc->get_accState(Child(id), &state);
        LONG l = 0, t = 0, w = 0, h = 0;
        acc->accLocation(&l, &t, &w, &h, Child(id));
        const std::wstring n = Take(name);
        std::fprintf(out, "%ld\t%s\t%ld\t%lx\t%s\t%ld,%ld,%ld,%ld\n", id, Utf8(n).c_str(),
                     role.vt == VT_I4 ? role.lVal : -1L, state.vt == VT_I4 ? state.lVal : 0L,
                     Utf8(Take(value)).c_str(), l, t, w, h);
        if (argc > 3 && id > 0 && n == argv[3]) pressed = id;
    }
    if (pressed > 0) {
        HRESULT hr = acc->accDoDefaultAction(Child(pressed));
        std::fprintf(out, "pressed\t%ld\t%lx\n", pressed, static_cast<unsigned long>(hr));
    }
    std::fclose(out);
    acc->Release();
    ::CoUninitialize();
    return 0;
}
