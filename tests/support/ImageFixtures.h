#pragma once
// Test images made at run time and a 32-bit canvas to draw them into.
#include <windows.h>
#include <gdiplus.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/QvScoped.h"
#include "support/TestUtil.h"
#include "ui/QvImage.h"
#include "ui/QvRes.h"

namespace qvtest {

// A top-down 32-bit DIB selected into a memory DC; pixels are 0xAARRGGBB
// as GDI stores them.
class Canvas {
public:
    Canvas(int w, int h, DWORD fill = 0) : w_(w), h_(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bmp_.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS,
                                      reinterpret_cast<void**>(&bits_), nullptr, 0));
        dc_.reset(::CreateCompatibleDC(nullptr));
        old_ = ::SelectObject(dc_.get(), bmp_.get());
        Fill(fill);
    }
    ~Canvas() { ::SelectObject(dc_.get(), old_); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_.get(); }
    HBITMAP bitmap() const { return bmp_.get(); }
    int width() const { return w_; }
    int height() const { return h_; }
    void Fill(DWORD argb) {
        ::GdiFlush();
        for (int i = 0; i < w_ * h_; ++i) bits_[i] = argb;
    }
    void Set(int x, int y, DWORD argb) {
        ::GdiFlush();
        bits_[y * w_ + x] = argb;
    }
    DWORD at(int x, int y) const {
        ::GdiFlush();
        return bits_[y * w_ + x];
    }
    // The pixel without its alpha byte.
    DWORD rgb(int x, int y) const { return at(x, y) & 0xFFFFFF; }

private:
    int w_, h_;
    DWORD* bits_ = nullptr;
    qv::ScopedBitmap bmp_;
    qv::ScopedMemDC dc_;
    HGDIOBJ old_ = nullptr;
};

inline CLSID EncoderOf(const wchar_t* mime) {
    CLSID clsid{};
    CQvImage::Instance().GetEncoderClsid(mime, &clsid);
    return clsid;
}

// Everything in a stream, from its start.
inline std::vector<BYTE> StreamBytes(IStream* stream) {
    std::vector<BYTE> out;
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    BYTE buf[4096];
    ULONG got = 0;
    while (SUCCEEDED(stream->Read(buf, sizeof buf, &got)) && got)
        out.insert(out.end(), buf, buf + got);
    return out;
}

// Encodes w × h pixels given by `color(x, y)` (ARGB) as PNG.
inline std::vector<BYTE> MakePng(int w, int h, const std::function<DWORD(int, int)>& color) {
    CQvImage::Instance();  // GDI+ up
    Gdiplus::Bitmap bmp(w, h, PixelFormat32bppARGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bmp.SetPixel(x, y, Gdiplus::Color(color(x, y)));
    qv::ComPtr<IStream> stream;
    ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    CLSID png = EncoderOf(L"image/png");
    bmp.Save(stream.get(), &png, nullptr);
    return StreamBytes(stream.get());
}

// A horizontal strip of `count` slices of w × h, slice i filled with
// colors[i].
inline std::vector<BYTE> MakeStrip(int w, int h, const std::vector<DWORD>& colors) {
    int count = static_cast<int>(colors.size());
    return MakePng(w * count, h, [&](int x, int) { return colors[x / w]; });
}

inline IStream* NewStream(const std::vector<BYTE>& bytes) {
    return qv::StreamOverCopy(bytes.data(), bytes.size());
}

inline bool WriteBytes(const std::wstring& path, const std::vector<BYTE>& bytes) {
    return WriteFileBytes(path, bytes.data(), bytes.size());
}

inline std::vector<BYTE> ReadBytes(const std::wstring& path) {
    std::vector<BYTE> out;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return out;
    DWORD size = ::GetFileSize(f, nullptr);
    out.resize(size);
    DWORD got = 0;
    ::ReadFile(f, out.data(), size, &got, nullptr);
    ::CloseHandle(f);
    out.resize(got);
    return out;
}

// A copy of this test program with extra "IMG" resources, loaded as a data
// file so that the drawing service can read images from it by number.
class ResourceModule {
public:
    ResourceModule(const TempDir& dir, const std::vector<std::pair<int, std::vector<BYTE>>>& imgs)
        : path_(dir / L"resources.exe") {
        ::CopyFileW(SelfPath().c_str(), path_.c_str(), FALSE);
        for (const auto& [id, bytes] : imgs)
            ok_ &= QvResUpdate2(path_.c_str(), id, L"IMG", const_cast<BYTE*>(bytes.data()),
                                static_cast<int>(bytes.size())) == 1;
        module_ = ::LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ok_ &= module_ != nullptr;
    }
    ~ResourceModule() {
        if (module_) ::FreeLibrary(module_);
    }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;
    bool ok() const { return ok_; }
    HMODULE module() const { return module_; }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    bool ok_ = true;
    HMODULE module_ = nullptr;
};

// Colour helpers: GDI stores 0x00RRGGBB in a DIB.
constexpr DWORD kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;
constexpr DWORD kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kYellow = 0xFFFFFF00;
constexpr DWORD kCyan = 0xFF00FFFF, kMagenta = 0xFFFF00FF, kGrey = 0xFF808080;

}  // namespace qvtest
