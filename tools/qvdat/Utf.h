#pragma once
// UTF-8 <-> UTF-16 for the data-file tool, which builds on Linux and
// Windows alike and so cannot lean on either system's converters.
#include <string>

namespace qvdat {

// False when text is not valid UTF-8 (overlong forms, surrogates and values
// above U+10FFFF included).
bool Utf8ToUtf16(const std::string& text, std::u16string* out);
// Unpaired surrogates come out as U+FFFD; *clean (when given) tells
// whether that happened.
std::string Utf16ToUtf8(const std::u16string& text, bool* clean = nullptr);

}  // namespace qvdat
