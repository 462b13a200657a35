#pragma once
// Remembers what a control drew over the pixels beneath it. Drawn again
// with the same look over the same pixels, the result is copied instead:
// text and alpha-blended images are the costliest part of a frame, and a
// control's look changes only with its state.
#include <windows.h>

#include <string>
#include <vector>

namespace qv {

class PaintCache {
public:
    // Draws area of dc (a DC with a 32-bit DIB section selected) as
    // draw(dc) would, for a look named by key. draw must touch no pixel
    // outside area and depend on nothing but key and the pixels beneath.
    template <typename Draw>
    void Paint(HDC dc, const RECT& area, const std::wstring& key, Draw draw) {
        Pixels px;
        if (!Lookup(dc, area, key, &px)) {
            draw(dc);
            Store(px, key);
        }
    }

private:
    struct Pixels {
        DWORD* bits = nullptr;  // top row; null: not a DIB section, nothing kept
        LONG stride = 0;        // in pixels; negative for bottom-up DIBs
        RECT rect{};
        std::vector<DWORD> beneath;
    };
    struct Look {
        std::wstring key;
        RECT rect;
        std::vector<DWORD> beneath, drawn;
    };
    // True when it copied a kept look; otherwise px holds what lies beneath.
    bool Lookup(HDC dc, const RECT& area, const std::wstring& key, Pixels* px);
    void Store(const Pixels& px, const std::wstring& key);

    std::vector<Look> looks_;  // a handful: one per state of a control
};

}  // namespace qv
