#include "ui/QvFade.h"

namespace {

// Stored as alpha + 1: a property's absence reads as 0.
constexpr wchar_t kFadeProp[] = L"QvFade";

}  // namespace

void qv::SetWindowFade(HWND wnd, BYTE alpha) {
    if (!wnd) return;
    if (alpha == 255)
        ::RemovePropW(wnd, kFadeProp);
    else
        ::SetPropW(wnd, kFadeProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(alpha) + 1));
}

BYTE qv::WindowFade(HWND wnd) {
    const INT_PTR stored = reinterpret_cast<INT_PTR>(wnd ? ::GetPropW(wnd, kFadeProp) : nullptr);
    return stored ? static_cast<BYTE>(stored - 1) : 255;
}
