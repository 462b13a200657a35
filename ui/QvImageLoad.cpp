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

Gdiplus::Bitmap* CQvImage::DecodeRes(HINSTANCE module, int id, const wchar_t* type) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!qv::FindResourceBytes(module, id, type, &data, &size)) return nullptr;
    // GDI+ reads the stream lazily for as long as the image lives, so it
    // gets a private copy rather than the mapped resource; the decoded copy
    // below owns its pixels and lets both go.
    qv::ComPtr<IStream> stream(qv::StreamOverCopy(data, size));
    if (!stream) return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream.get(), FALSE));
    if (!decoded || decoded->GetLastStatus() != Gdiplus::Ok) return nullptr;
    Gdiplus::Bitmap* kept = decoded->Clone(0, 0, static_cast<INT>(decoded->GetWidth()),
                                           static_cast<INT>(decoded->GetHeight()),
                                           PixelFormat32bppPARGB);
    if (kept && kept->GetLastStatus() != Gdiplus::Ok) {
        delete kept;
        return nullptr;
    }
    return kept;
}

CQvImage::ResImage CQvImage::LoadRes(int id, const wchar_t* type) {
    std::unique_lock<std::recursive_mutex> lock(resLock_);
    HINSTANCE module = module_;
    if (!module) module_ = module = ::GetModuleHandleW(nullptr);
    if (!type) return ResImage(std::move(lock), nullptr);
    // A numeric type is a string of its own kind: "#n" cannot clash with a name.
    std::wstring key = std::to_wstring(id) + L'|' +
                       (IS_INTRESOURCE(type) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(type))
                                             : std::wstring(type));
    auto& slot = resImages_[{module, key}];
    // A missing resource is looked for again next time: it may be another
    // module's, set later with SetInst.
    if (!slot) slot.reset(DecodeRes(module, id, type));
    return ResImage(std::move(lock), slot.get());
}

bool CQvImage::GetImgSize(const wchar_t* path, int& w, int& h) {
    ImagePtr img = LoadFile(path);
    w = img ? static_cast<int>(img->GetWidth()) : 0;
    h = img ? static_cast<int>(img->GetHeight()) : 0;
    return true;
}

bool CQvImage::GetImgSize(int id, int& w, int& h) {
    ResImage kept = LoadRes(id, L"IMG");
    Gdiplus::Image* img = kept.get();
    w = img ? static_cast<int>(img->GetWidth()) : 0;
    h = img ? static_cast<int>(img->GetHeight()) : 0;
    return true;
}

bool CQvImage::CheckImage(const wchar_t* path) {
    ImagePtr img = LoadFile(path);
    return img && img->GetHeight() != 0;
}
