#pragma once
// The name under which an internet shortcut's icon is kept in the
// temporary folder.
#include <string>

namespace qv {

// The icon URL lower-cased, without "http://" and "https://", every "/" and
// every other character that a file name cannot hold turned into "_".
// Never names a folder, a device or anything outside the folder it is put
// in; empty for an empty URL.
std::wstring IconCacheName(const std::wstring& url);

}  // namespace qv
