// Plain, sliced and stretched image drawing, tint and colour key.
#include "ui/QvImage.h"

using Gdiplus::Graphics;
using Gdiplus::Image;
using Gdiplus::ImageAttributes;

void CQvImage::DrawOn(Graphics& g, Image* img, int x, int y, int w, int h, const RECT* src,
                      ImageAttributes* attr) {
    int sx = 0, sy = 0;
    int sw = static_cast<int>(img->GetWidth());
    int sh = static_cast<int>(img->GetHeight());
    if (src) {
        sx = src->left;
        sy = src->top;
        sw = src->right - src->left;
        sh = src->bottom - src->top;
    }
    if (w == 0 || h == 0) {
        w = sw;
        h = sh;
    }
    // Without attributes GDI+ fades the outermost pixels of a scaled part
    // into transparency (or into the neighbouring slice of a strip);
    // mirroring at the part's edges keeps stretched caps and edges crisp.
    ImageAttributes edges;
    if (!attr) {
        edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
        attr = &edges;
    }
    g.DrawImage(img, Gdiplus::Rect(x, y, w, h), sx, sy, sw, sh, Gdiplus::UnitPixel, attr);
}

bool CQvImage::DrawImg(HDC dc, Image* img, int x, int y, int w, int h, RECT* src,
                       ImageAttributes* attr) {
    if (!dc || !img) return false;
    Graphics g(dc);
    DrawOn(g, img, x, y, w, h, src, attr);
    return true;
}

bool CQvImage::DrawImg(HDC dc, IStream* stream, int x, int y, int w, int h, RECT* src) {
    if (!dc) return false;
    ImagePtr img = LoadStream(stream);
    return DrawImg(dc, img.get(), x, y, w, h, src, nullptr);
}

bool CQvImage::DrawImg(HDC dc, const wchar_t* path, int x, int y, int w, int h, RECT* src) {
    if (!dc) return false;
    ImagePtr img = LoadFile(path);
    return DrawImg(dc, img.get(), x, y, w, h, src, nullptr);
}

bool CQvImage::DrawImg(HDC dc, int id, const wchar_t* type, int x, int y, int w, int h,
                       RECT* src) {
    if (!dc) return false;
    ImagePtr img = LoadRes(id, type);
    return DrawImg(dc, img.get(), x, y, w, h, src, nullptr);
}

bool CQvImage::DrawStretchImg(HDC dc, Image* img, int x, int y, int w, int h, int splitH,
                              int count, int index, int splitV) {
    if (!dc || !img) return false;
    if (count < 1) count = 1;
    if (index >= count) index = count - 1;
    int sliceW = static_cast<int>(img->GetWidth()) / count;  // leftover columns are never drawn
    int imgH = static_cast<int>(img->GetHeight());
    RECT src{sliceW * index, 0, sliceW * index + sliceW, imgH};
    // A zero size means the slice as it is, whichever way it is split.
    if (w == 0 || h == 0) {
        w = sliceW;
        h = imgH;
    }
    if (splitV > 0) return DrawSplitV(dc, img, x, y, w, h, src, splitH, splitV);
    if (splitH > 0) return DrawSplitH(dc, img, x, y, w, h, src, splitH);
    return DrawImg(dc, img, x, y, w, h, &src, nullptr);
}

bool CQvImage::DrawStretchImg(HDC dc, IStream* stream, int x, int y, int w, int h, int splitH,
                              int count, int index, int splitV) {
    if (!dc) return false;
    ImagePtr img = LoadStream(stream);
    return DrawStretchImg(dc, img.get(), x, y, w, h, splitH, count, index, splitV);
}

bool CQvImage::DrawStretchImg(HDC dc, const wchar_t* path, int x, int y, int w, int h,
                              int splitH, int count, int index, int splitV) {
    if (!dc) return false;
    ImagePtr img = LoadFile(path);
    return DrawStretchImg(dc, img.get(), x, y, w, h, splitH, count, index, splitV);
}

bool CQvImage::DrawStretchImg(HDC dc, int id, const wchar_t* type, int x, int y, int w, int h,
                              int splitH, int count, int index, int splitV) {
    if (!dc) return false;
    ImagePtr img = LoadRes(id, type);
    return DrawStretchImg(dc, img.get(), x, y, w, h, splitH, count, index, splitV);
}

bool CQvImage::DrawSplitH(HDC dc, Image* img, int x, int y, int w, int h, const RECT& s,
                          int e) {
    Graphics g(dc);
    RECT left{s.left, s.top, s.left + e, s.bottom};
    RECT mid{s.left + e, s.top, s.right - e, s.bottom};
    RECT right{s.right - e, s.top, s.right, s.bottom};
    // A height of 0 draws every part at its own size. Otherwise a part with
    // nothing to show is skipped: a zero width would mean "natural size" and
    // a negative one would mirror it.
    bool natural = h == 0;
    if (left.right > left.left) DrawOn(g, img, x, y, e, h, &left, nullptr);
    if (mid.right > mid.left && (natural || w - 2 * e > 0))
        DrawOn(g, img, x + e, y, w - 2 * e, h, &mid, nullptr);
    if (right.right > right.left) DrawOn(g, img, x + w - e, y, e, h, &right, nullptr);
    return true;
}

bool CQvImage::DrawSplitV(HDC dc, Image* img, int x, int y, int w, int h, const RECT& s,
                          int e, int v) {
    RECT top{s.left, s.top, s.right, s.top + v};
    RECT mid{s.left, s.top + v, s.right, s.bottom - v};
    RECT bottom{s.left, s.bottom - v, s.right, s.bottom};
    auto band = [&](int by, int bh, RECT& part) {
        if (part.bottom <= part.top || bh <= 0) return;
        if (e > 0)
            DrawSplitH(dc, img, x, by, w, bh, part, e);
        else
            DrawImg(dc, img, x, by, w, bh, &part, nullptr);
    };
    band(y, v, top);
    band(y + v, h - 2 * v, mid);
    band(y + h - v, v, bottom);
    return true;
}

bool CQvImage::DrawImgEx(HDC dc, Image* img, float r, float g, float b, float a, int x, int y,
                         int w, int h) {
    if (!dc || !img) return false;
    Gdiplus::ColorMatrix m{};
    m.m[0][0] = r;
    m.m[1][1] = g;
    m.m[2][2] = b;
    m.m[3][3] = a;
    m.m[4][4] = 1;  // the homogeneous component: no translation
    ImageAttributes attr;
    attr.SetColorMatrix(&m);
    attr.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    return DrawImg(dc, img, x, y, w, h, nullptr, &attr);
}

bool CQvImage::DrawImgEx(HDC dc, IStream* stream, float r, float g, float b, float a, int x,
                         int y, int w, int h) {
    if (!dc) return false;
    ImagePtr img = LoadStream(stream);
    return DrawImgEx(dc, img.get(), r, g, b, a, x, y, w, h);
}

bool CQvImage::DrawImgEx(HDC dc, const wchar_t* path, float r, float g, float b, float a, int x,
                         int y, int w, int h) {
    if (!dc) return false;
    ImagePtr img = LoadFile(path);
    return DrawImgEx(dc, img.get(), r, g, b, a, x, y, w, h);
}

bool CQvImage::DrawImgEx(HDC dc, int id, const wchar_t* type, float r, float g, float b,
                         float a, int x, int y, int w, int h) {
    if (!dc) return false;
    ImagePtr img = LoadRes(id, type);
    return DrawImgEx(dc, img.get(), r, g, b, a, x, y, w, h);
}

bool CQvImage::DrawTranImg(HDC dc, Image* img, DWORD high, DWORD low, int x, int y, int w,
                           int h) {
    if (!dc || !img) return false;
    ImageAttributes attr;
    attr.SetColorKey(Gdiplus::Color(low), Gdiplus::Color(high));
    attr.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    return DrawImg(dc, img, x, y, w, h, nullptr, &attr);
}

bool CQvImage::DrawTranImg(HDC dc, IStream* stream, DWORD high, DWORD low, int x, int y, int w,
                           int h) {
    if (!dc) return false;
    ImagePtr img = LoadStream(stream);
    return DrawTranImg(dc, img.get(), high, low, x, y, w, h);
}

bool CQvImage::DrawTranImg(HDC dc, const wchar_t* path, DWORD high, DWORD low, int x, int y,
                           int w, int h) {
    if (!dc) return false;
    ImagePtr img = LoadFile(path);
    return DrawTranImg(dc, img.get(), high, low, x, y, w, h);
}

bool CQvImage::DrawTranImg(HDC dc, int id, const wchar_t* type, DWORD high, DWORD low, int x,
                           int y, int w, int h) {
    if (!dc) return false;
    ImagePtr img = LoadRes(id, type);
    return DrawTranImg(dc, img.get(), high, low, x, y, w, h);
}
