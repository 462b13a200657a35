// Saving bitmaps, DCs, the screen and image files through the GDI+
// encoders, and resizing image files.
#include <cwchar>
#include <string>
#include <vector>

#include "base/QvScoped.h"
#include "ui/QvImage.h"
#include "ui/QvRes.h"

namespace {

std::wstring MimeOf(const wchar_t* format) {
    return std::wstring(L"image/") + (format ? format : L"");
}

// Decodes a file from a private copy of its bytes, so that the file is not
// held open while the image lives and may be overwritten by the result.
std::unique_ptr<Gdiplus::Image> LoadDetached(const wchar_t* path) {
    if (!path) return nullptr;
    qv::ScopedFile file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > 0x40000000)
        return nullptr;
    std::vector<char> bytes(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
        got != bytes.size())
        return nullptr;
    qv::ComPtr<IStream> stream(qv::StreamOverCopy(bytes.data(), bytes.size()));
    if (!stream) return nullptr;
    std::unique_ptr<Gdiplus::Image> img(new Gdiplus::Image(stream.get(), FALSE));
    if (img->GetLastStatus() != Gdiplus::Ok) return nullptr;
    return img;
}

// A GDI+ bitmap may not be made from a GDI bitmap that is still selected
// into a DC, so callers deselect first.
bool SaveHBitmap(CQvImage& self, HBITMAP bitmap, const wchar_t* path, const wchar_t* format) {
    Gdiplus::Bitmap bmp(bitmap, nullptr);
    if (bmp.GetLastStatus() != Gdiplus::Ok) return false;
    GUID clsid;
    if (self.GetEncoderClsid(MimeOf(format).c_str(), &clsid) < 0) return false;
    return bmp.Save(path, &clsid, nullptr) == Gdiplus::Ok;
}

}  // namespace

int CQvImage::GetEncoderClsid(const wchar_t* mime, GUID* clsid) {
    if (!mime || !clsid) return -1;
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return -1;
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return -1;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && std::wcscmp(codecs[i].MimeType, mime) == 0) {
            *clsid = codecs[i].Clsid;
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool CQvImage::SaveImage(Gdiplus::Image* img, const wchar_t* path, const wchar_t* format) {
    if (!img || !path) return false;
    GUID clsid;
    if (GetEncoderClsid(MimeOf(format).c_str(), &clsid) < 0) return false;
    return img->Save(path, &clsid, nullptr) == Gdiplus::Ok;
}

bool CQvImage::BmToStream(HBITMAP bitmap, IStream* stream, const wchar_t* format) {
    if (!bitmap || !stream) return false;
    Gdiplus::Bitmap bmp(bitmap, nullptr);
    if (bmp.GetLastStatus() != Gdiplus::Ok) return false;
    GUID clsid;
    if (GetEncoderClsid(MimeOf(format).c_str(), &clsid) < 0) return false;
    // Encoders may rewind the stream they are given; encoding into a
    // private one and appending it keeps whatever precedes the position.
    qv::ComPtr<IStream> encoded;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, encoded.put())) ||
        bmp.Save(encoded.get(), &clsid, nullptr) != Gdiplus::Ok)
        return false;
    STATSTG info{};
    if (FAILED(encoded->Stat(&info, STATFLAG_NONAME))) return false;
    LARGE_INTEGER zero{};
    encoded->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULARGE_INTEGER read{}, written{};
    return SUCCEEDED(encoded->CopyTo(stream, info.cbSize, &read, &written)) &&
           written.QuadPart == info.cbSize.QuadPart;
}

bool CQvImage::SaveScreen(const wchar_t* path, const wchar_t* format) {
    int w = ::GetSystemMetrics(SM_CXSCREEN);
    int h = ::GetSystemMetrics(SM_CYSCREEN);
    qv::ScopedMemDC display(::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
    if (!display) return false;
    qv::ScopedMemDC mem(::CreateCompatibleDC(display.get()));
    qv::ScopedBitmap bitmap(::CreateCompatibleBitmap(display.get(), w, h));
    if (!mem || !bitmap) return false;
    {
        qv::ScopedSelect select(mem.get(), bitmap.get());
        ::BitBlt(mem.get(), 0, 0, w, h, display.get(), 0, 0, SRCCOPY);
    }
    return SaveHBitmap(*this, bitmap.get(), path, format);
}

bool CQvImage::SavePic(HDC dc, RECT rect, const wchar_t* path, const wchar_t* format) {
    int w = rect.right - rect.left;
    int h = rect.bottom - rect.top;
    if (!dc || w <= 0 || h <= 0) return false;
    qv::ScopedMemDC mem(::CreateCompatibleDC(dc));
    qv::ScopedBitmap bitmap(::CreateCompatibleBitmap(dc, w, h));
    if (!mem || !bitmap) return false;
    {
        qv::ScopedSelect select(mem.get(), bitmap.get());
        // The rectangle's own area: the copy starts at its left and top.
        ::BitBlt(mem.get(), 0, 0, w, h, dc, rect.left, rect.top, SRCCOPY);
    }
    return SaveHBitmap(*this, bitmap.get(), path, format);
}

bool CQvImage::SavePic(HWND wnd, const wchar_t* path, const wchar_t* format) {
    qv::ScopedWindowDC dc(wnd);
    if (!dc) return false;
    RECT client{};
    ::GetClientRect(wnd, &client);
    return SavePic(dc.get(), client, path, format);
}

bool CQvImage::SavePic(const wchar_t* source, const wchar_t* path, const wchar_t* format) {
    std::unique_ptr<Gdiplus::Image> img = LoadDetached(source);
    return SaveImage(img.get(), path, format);
}

bool CQvImage::Zoom(const wchar_t* source, float percent, int w, int h, const wchar_t* path,
                    const wchar_t* format) {
    const wchar_t* out = path ? path : source;
    std::unique_ptr<Gdiplus::Image> img = LoadDetached(source);
    if (!img) return false;
    double srcW = img->GetWidth();
    double srcH = img->GetHeight();
    if (srcW <= 0 || srcH <= 0) return false;
    if (percent > 0) {
        w = static_cast<int>(srcW * percent / 100.0);
        h = static_cast<int>(srcH * percent / 100.0);
    } else if (w == 0) {
        w = static_cast<int>(h / srcH * srcW);
    } else if (h == 0) {
        h = static_cast<int>(w / srcW * srcH);
    }
    if (w <= 0 || h <= 0) return false;
    Gdiplus::Bitmap scaled(w, h, PixelFormat32bppARGB);
    if (scaled.GetLastStatus() != Gdiplus::Ok) return false;
    {
        Gdiplus::Graphics g(&scaled);
        g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        Gdiplus::ImageAttributes edges;  // no faded border from sampling outside the image
        edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
        g.DrawImage(img.get(), Gdiplus::Rect(0, 0, w, h), 0, 0, static_cast<int>(srcW),
                    static_cast<int>(srcH), Gdiplus::UnitPixel, &edges);
    }
    img.reset();
    return SaveImage(&scaled, out, format ? format : L"jpeg");
}
