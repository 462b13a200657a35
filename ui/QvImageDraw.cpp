// Plain, sliced and stretched image drawing, tint and colour key.
#include <cmath>
#include <memory>

#include "ui/QvImage.h"
#include "ui/QvDpiGraphics.h"

using Gdiplus::Graphics;
using Gdiplus::Image;
using Gdiplus::ImageAttributes;

namespace {

// The part (sx, sy, sw, sh) of `img` scaled to w × h, bilinear, sampled at
// pixel centres and clamped to the part's own edges. GDI+ scaling samples
// across the edges of what it draws, into the next slice of a strip or
// the next piece of a nine-part image, and fades the border into
// transparency; Wine's GDI+ also drops the first row and column. Drawing
// the result 1:1 is exact everywhere.
std::unique_ptr<Gdiplus::Bitmap> ScalePart(Image* img, int sx, int sy, int sw, int sh, int w,
                                           int h) {
    Gdiplus::Bitmap part(sw, sh, PixelFormat32bppPARGB);
    if (part.GetLastStatus() != Gdiplus::Ok) return nullptr;
    {
        Graphics pg(&part);
        pg.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        pg.DrawImage(img, Gdiplus::Rect(0, 0, sw, sh), sx, sy, sw, sh, Gdiplus::UnitPixel);
    }
    auto out = std::make_unique<Gdiplus::Bitmap>(w, h, PixelFormat32bppPARGB);
    if (out->GetLastStatus() != Gdiplus::Ok) return nullptr;
    Gdiplus::Rect inRect(0, 0, sw, sh), outRect(0, 0, w, h);
    Gdiplus::BitmapData in{}, dst{};
    if (part.LockBits(&inRect, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &in) !=
        Gdiplus::Ok)
        return nullptr;
    if (out->LockBits(&outRect, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &dst) !=
        Gdiplus::Ok) {
        part.UnlockBits(&in);
        return nullptr;
    }
    auto pixel = [&](int px, int py) {
        return static_cast<const BYTE*>(in.Scan0) + py * in.Stride + px * 4;
    };
    auto axis = [](int d, int from, int to, int& i0, int& i1, float& t) {
        float f = (d + 0.5f) * from / to - 0.5f;
        if (f < 0) f = 0;
        if (f > from - 1) f = static_cast<float>(from - 1);
        i0 = static_cast<int>(f);
        i1 = i0 + 1 < from ? i0 + 1 : i0;
        t = f - i0;
    };
    for (int dy = 0; dy < h; ++dy) {
        int y0, y1;
        float ty;
        axis(dy, sh, h, y0, y1, ty);
        BYTE* row = static_cast<BYTE*>(dst.Scan0) + dy * dst.Stride;
        for (int dx = 0; dx < w; ++dx) {
            int x0, x1;
            float tx;
            axis(dx, sw, w, x0, x1, tx);
            const BYTE *a = pixel(x0, y0), *b = pixel(x1, y0), *c = pixel(x0, y1),
                       *d = pixel(x1, y1);
            for (int ch = 0; ch < 4; ++ch) {
                float top = a[ch] + (b[ch] - a[ch]) * tx;
                float bottom = c[ch] + (d[ch] - c[ch]) * tx;
                row[dx * 4 + ch] = static_cast<BYTE>(top + (bottom - top) * ty + 0.5f);
            }
        }
    }
    out->UnlockBits(&dst);
    part.UnlockBits(&in);
    return out;
}

// On a DC drawn at another DPI: the part scaled once, to the very device
// pixels it covers (edges rounded as for its neighbours, so slices meet),
// and drawn 1:1. False when g has no plain scale to apply.
bool DrawScaledToDevice(Graphics& g, Image* img, int x, int y, int w, int h, int sx, int sy, int sw,
                        int sh, ImageAttributes* attr) {
    Gdiplus::Matrix transform;
    g.GetTransform(&transform);
    if (transform.IsIdentity()) return false;
    Gdiplus::REAL m[6];
    transform.GetElements(m);
    if (m[1] != 0 || m[2] != 0 || m[0] <= 0 || m[3] <= 0) return false;
    auto at = [](Gdiplus::REAL v, Gdiplus::REAL scale, Gdiplus::REAL shift) {
        return static_cast<int>(std::lround(v * scale + shift));
    };
    const int left = at(static_cast<Gdiplus::REAL>(x), m[0], m[4]);
    const int top = at(static_cast<Gdiplus::REAL>(y), m[3], m[5]);
    const int dw = at(static_cast<Gdiplus::REAL>(x + w), m[0], m[4]) - left;
    const int dh = at(static_cast<Gdiplus::REAL>(y + h), m[3], m[5]) - top;
    if (dw <= 0 || dh <= 0) return true;  // nothing of it lands on a pixel
    std::unique_ptr<Gdiplus::Bitmap> part = ScalePart(img, sx, sy, sw, sh, dw, dh);
    if (!part) return false;
    g.ResetTransform();
    g.DrawImage(part.get(), Gdiplus::Rect(left, top, dw, dh), 0, 0, dw, dh, Gdiplus::UnitPixel, attr);
    g.SetTransform(&transform);
    return true;
}

}  // namespace

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
    if (w > 0 && h > 0 && sw > 0 && sh > 0 && DrawScaledToDevice(g, img, x, y, w, h, sx, sy, sw, sh, attr))
        return;
    bool scaled = w != sw || h != sh;
    if (scaled && w > 0 && h > 0 && sw > 0 && sh > 0) {
        Gdiplus::Matrix transform;
        g.GetTransform(&transform);
        if (transform.IsIdentity()) {
            std::unique_ptr<Gdiplus::Bitmap> scaledPart = ScalePart(img, sx, sy, sw, sh, w, h);
            if (scaledPart) {
                g.DrawImage(scaledPart.get(), Gdiplus::Rect(x, y, w, h), 0, 0, w, h,
                            Gdiplus::UnitPixel, attr);
                return;
            }
        }
    }
    // Turned images: mirror at the edges rather than fade them out.
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
    QvDeviceSpace space(dc);
    Graphics g(dc);
    QvMatchTransform(g, space);
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
    ResImage img = LoadRes(id, type);
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
    ResImage img = LoadRes(id, type);
    return DrawStretchImg(dc, img.get(), x, y, w, h, splitH, count, index, splitV);
}

bool CQvImage::DrawSplitH(HDC dc, Image* img, int x, int y, int w, int h, const RECT& s,
                          int e) {
    QvDeviceSpace space(dc);
    Graphics g(dc);
    QvMatchTransform(g, space);
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
    ResImage img = LoadRes(id, type);
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
    ResImage img = LoadRes(id, type);
    return DrawTranImg(dc, img.get(), high, low, x, y, w, h);
}
