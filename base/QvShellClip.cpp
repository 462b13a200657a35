// Unicode text on the clipboard.
#include "base/QvShell.h"

#include <cstring>
#include <cwchar>

#include "base/QvScoped.h"
#include "base/QvShellScoped.h"

int GetClipboard(wchar_t* out, int max) {
    if (!out || max < 1) return 0;
    out[0] = 0;
    qv::ScopedClipboard clipboard;
    if (!clipboard) return 0;
    qv::ScopedGlobalLock text(::GetClipboardData(CF_UNICODETEXT));
    if (!text.get()) return 0;
    // The terminator is only trusted inside the block the owner gave us.
    const auto* source = static_cast<const wchar_t*>(text.get());
    size_t available = text.size() / sizeof(wchar_t);
    size_t length = 0;
    while (length < available && source[length]) ++length;
    if (length > static_cast<size_t>(max) - 1) length = static_cast<size_t>(max) - 1;
    std::wmemcpy(out, source, length);
    out[length] = 0;
    return 1;
}

int SetClipboard(const wchar_t* text) {
    if (!text) return 0;
    size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    qv::ScopedGlobal copy(::GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!copy) return 0;
    {
        qv::ScopedGlobalLock target(copy.get());
        if (!target.get()) return 0;
        std::memcpy(target.get(), text, bytes);
    }
    qv::ScopedClipboard clipboard;
    if (!clipboard || !::EmptyClipboard()) return 0;
    if (!::SetClipboardData(CF_UNICODETEXT, copy.get())) return 0;
    copy.release();  // the clipboard owns it now
    return 1;
}
