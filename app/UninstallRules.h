#pragma once
// The text rules on what an uninstall data file may name, shared by the
// uninstaller and by qvdat, which writes data files on a build host without
// Windows: one place, so that the tool never accepts what the uninstaller
// will refuse. What a path leads to on disk (links, protected folders) only
// the uninstaller can see; that is UninstallSafety's.
#include <string_view>

namespace qv::rules {

template <class Char>
constexpr bool IsSep(Char c) {
    return c == Char('\\') || c == Char('/');
}

// "X:\..." on a drive, with no "." or ".." segment and no name ending in a
// full stop or a space (Windows drops those, so such a path says one
// folder and means another), and no colon after the drive's: a stream name
// ("C:\Windows::$INDEX_ALLOCATION") opens the folder itself. Relative,
// rooted, device-namespace and network paths are not plain.
template <class Char>
bool IsPlainAbsolute(std::basic_string_view<Char> path) {
    bool letter = path.size() >= 3 && ((path[0] >= Char('A') && path[0] <= Char('Z')) ||
                                       (path[0] >= Char('a') && path[0] <= Char('z')));
    if (!letter || path[1] != Char(':') || !IsSep(path[2])) return false;
    if (path.find(Char(':'), 2) != std::basic_string_view<Char>::npos) return false;
    for (size_t i = 1; i < path.size(); ++i)
        if (IsSep(path[i]) && (path[i - 1] == Char('.') || path[i - 1] == Char(' '))) return false;
    return path.back() != Char('.') && path.back() != Char(' ');
}

// One plain name: not empty, no separator, colon or wildcard, not ending in
// a full stop or a space (which also rules out "." and "..").
template <class Char>
bool IsPlainComponent(std::basic_string_view<Char> name) {
    if (name.empty() || name.back() == Char('.') || name.back() == Char(' ')) return false;
    for (Char c : name)
        if (IsSep(c) || c == Char(':') || c == Char('*') || c == Char('?') || c == Char('"') ||
            c == Char('<') || c == Char('>') || c == Char('|') || (c >= 0 && c < Char(0x20)))
            return false;
    return true;
}

// One registry key name: a path of several would reach another product's
// key or a part of one, and an empty component the parent.
template <class Char>
bool IsPlainKeyName(std::basic_string_view<Char> name) {
    return !name.empty() && name.find(Char('\\')) == std::basic_string_view<Char>::npos;
}

// True when path ends in ".lnk", ".url" or ".pif" (any case); *lnk tells
// which.
template <class Char>
bool HasShortcutExtension(std::basic_string_view<Char> path, bool* lnk = nullptr) {
    if (lnk) *lnk = false;
    if (path.size() < 5 || path[path.size() - 4] != Char('.')) return false;
    char ext[3];
    for (int i = 0; i < 3; ++i) {
        Char c = path[path.size() - 3 + i];
        if (c >= Char('A') && c <= Char('Z')) c = Char(c - Char('A') + Char('a'));
        ext[i] = (c >= 0 && c < 0x80) ? static_cast<char>(c) : '\0';
    }
    std::string_view e(ext, 3);
    if (lnk) *lnk = e == "lnk";
    return e == "lnk" || e == "url" || e == "pif";
}

}  // namespace qv::rules
