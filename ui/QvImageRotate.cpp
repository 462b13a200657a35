// Rotated, flipped and skewed drawing.
#include "ui/QvImage.h"
#include "ui/QvDpiGraphics.h"

using Gdiplus::Graphics;
using Gdiplus::Image;

bool CQvImage::DrawRotate(HDC dc, Image* img, int angle, int x, int y, int w, int h) {
    if (!dc || !img) return false;
    if (w == 0 || h == 0) {
        w = static_cast<int>(img->GetWidth());
        h = static_cast<int>(img->GetHeight());
    }
    int cx = x + w / 2;
    int cy = y + h / 2;
    QvDeviceSpace space(dc);
    Graphics g(dc);
    QvMatchTransform(g, space);
    // Prepended, so points are moved to the origin first, turned, and
    // moved back: the image turns about the centre of its rectangle.
    g.TranslateTransform(static_cast<float>(cx), static_cast<float>(cy));
    g.RotateTransform(static_cast<float>(angle));
    g.TranslateTransform(static_cast<float>(-w / 2 - x), static_cast<float>(-h / 2 - y));
    DrawOn(g, img, x, y, w, h, nullptr, nullptr);
    g.ResetTransform();
    return true;
}

bool CQvImage::DrawRotate(HDC dc, IStream* stream, int angle, int x, int y, int w, int h) {
    if (!dc) return false;
    ImagePtr img = LoadStream(stream);
    return DrawRotate(dc, img.get(), angle, x, y, w, h);
}

bool CQvImage::DrawRotate(HDC dc, const wchar_t* path, int angle, int x, int y, int w, int h) {
    if (!dc) return false;
    ImagePtr img = LoadFile(path);
    return DrawRotate(dc, img.get(), angle, x, y, w, h);
}

bool CQvImage::DrawRotate(HDC dc, int id, const wchar_t* type, int angle, int x, int y, int w,
                          int h) {
    if (!dc) return false;
    ResImage img = LoadRes(id, type);
    return DrawRotate(dc, img.get(), angle, x, y, w, h);
}

bool CQvImage::DrawRotateFlip(HDC dc, Image* img, int x, int y, int w, int h,
                              Gdiplus::RotateFlipType how, float alpha) {
    if (!dc || !img) return false;
    img->RotateFlip(how);  // callers pass a private copy
    return DrawImgEx(dc, img, 1, 1, 1, alpha, x, y, w, h);
}

bool CQvImage::DrawRotateFlip(HDC dc, IStream* stream, int x, int y, int w, int h,
                              Gdiplus::RotateFlipType how, float alpha) {
    if (!dc) return false;
    ImagePtr img = LoadStream(stream);
    return DrawRotateFlip(dc, img.get(), x, y, w, h, how, alpha);
}

bool CQvImage::DrawRotateFlip(HDC dc, const wchar_t* path, int x, int y, int w, int h,
                              Gdiplus::RotateFlipType how, float alpha) {
    if (!dc) return false;
    ImagePtr img = LoadFile(path);
    return DrawRotateFlip(dc, img.get(), x, y, w, h, how, alpha);
}

bool CQvImage::DrawRotateFlip(HDC dc, int id, const wchar_t* type, int x, int y, int w, int h,
                              Gdiplus::RotateFlipType how, float alpha) {
    if (!dc) return false;
    ResImage kept = LoadRes(id, type);
    if (!kept.get()) return false;
    // Turning works in place: turn a copy, never the kept image.
    ImagePtr img(kept.get()->Clone());
    return DrawRotateFlip(dc, img.get(), x, y, w, h, how, alpha);
}

void CQvImage::DrawRotate3D(HDC dc, Image* img, int x1, int y1, int x2, int y2, int x3,
                            int y3) {
    if (!dc || !img) return;
    QvDeviceSpace space(dc);
    Graphics g(dc);
    QvMatchTransform(g, space);
    g.SetSmoothingMode(Gdiplus::SmoothingModeHighQuality);
    Gdiplus::Point corners[3] = {{x1, y1}, {x2, y2}, {x3, y3}};
    g.DrawImage(img, corners, 3);
}

void CQvImage::DrawRotate3D(HDC dc, IStream* stream, int x1, int y1, int x2, int y2, int x3,
                            int y3) {
    if (!dc || !stream) return;
    ImagePtr img = LoadStream(stream);
    DrawRotate3D(dc, img.get(), x1, y1, x2, y2, x3, y3);
}

void CQvImage::DrawRotate3D(HDC dc, int id, const wchar_t* type, int x1, int y1, int x2, int y2,
                            int x3, int y3) {
    if (!dc) return;
    ResImage img = LoadRes(id, type);
    DrawRotate3D(dc, img.get(), x1, y1, x2, y2, x3, y3);
}
