// Start-up of the drawing service and loading of images from resources,
// streams and files.
#include "ui/QvImage.h"

#include "base/QvScoped.h"
#include "ui/QvRes.h"

namespace qv {

GdiplusSession::GdiplusSession() {
    // Version 1, no debug callback, GDI+'s own background thread and its
    // external codecs both allowed: the defaults of the start-up record.
    if (Gdiplus::GdiplusStartup(&token_, &input_, nullptr) != Gdiplus::Ok) token_ = 0;
}

GdiplusSession::~GdiplusSession() {
    if (token_) Gdiplus::GdiplusShutdown(token_);
}

}  // namespace qv

CQvImage& CQvImage::Instance() {
    static CQvImage image;
    return image;
}

CQvImage::CQvImage() : stopEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CQvImage::~CQvImage() {
    // The movie threads draw with GDI+ and read their records: both must
    // outlive them.
    stopping_ = true;
    StopMovieThreads();
}

void CQvImage::SetInst(HINSTANCE module) {
    module_ = module;
}

CQvImage::ImagePtr CQvImage::LoadStream(IStream* stream) {
    if (!stream) return nullptr;
    ImagePtr img(new Gdiplus::Image(stream, FALSE));
    if (img->GetLastStatus() != Gdiplus::Ok) return nullptr;
    return img;
}

CQvImage::ImagePtr CQvImage::LoadFile(const wchar_t* path) {
    if (!path || !*path) return nullptr;
    ImagePtr img(new Gdiplus::Image(path, FALSE));
    if (img->GetLastStatus() != Gdiplus::Ok) return nullptr;
    return img;
}

Gdiplus::Image* CQvImage::LoadPngFromRes(int id, const wchar_t* type) {
    HINSTANCE module = module_;
    if (!module) module_ = module = ::GetModuleHandleW(nullptr);
    const void* data = nullptr;
    DWORD size = 0;
    if (!qv::FindResourceBytes(module, id, type, &data, &size)) return nullptr;
    // GDI+ reads the stream lazily for as long as the image lives, so it
    // gets a private copy rather than the mapped resource.
    qv::ComPtr<IStream> stream(qv::StreamOverCopy(data, size));
    return LoadStream(stream.get()).release();  // the image holds its own reference
}

bool CQvImage::GetImgSize(const wchar_t* path, int& w, int& h) {
    ImagePtr img = LoadFile(path);
    w = img ? static_cast<int>(img->GetWidth()) : 0;
    h = img ? static_cast<int>(img->GetHeight()) : 0;
    return true;
}

bool CQvImage::GetImgSize(int id, int& w, int& h) {
    ImagePtr img = LoadRes(id, L"IMG");
    w = img ? static_cast<int>(img->GetWidth()) : 0;
    h = img ? static_cast<int>(img->GetHeight()) : 0;
    return true;
}

bool CQvImage::CheckImage(const wchar_t* path) {
    ImagePtr img = LoadFile(path);
    return img && img->GetHeight() != 0;
}
