#pragma once
// The toolkit's drawing service: PNG images from resources, files, streams
// or already loaded GDI+ images, drawn into any DC, plus text and image
// export. One process-wide instance owns GDI+ for the whole program.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/QvExport.h"
#include "base/QvScoped.h"

class CQvImage;

// One registered frame animation, drawn by its own thread.
struct tagQvMovie {
    HWND window = nullptr;
    HDC bgDC = nullptr;
    int id = 0;
    int sourceKind = 0;  // 0 resource, 1 file
    int effect = 0;      // 0 strip, 1 turn, 2 rotate, 3 fade in, 4 fade out
    std::wstring filePath;
    int resId = 0;
    std::wstring resType;
    int x = 0, y = 0, width = 0, height = 0;
    int frames = 1;  // at least 1
    int delay = 50;  // milliseconds between frames
    int stopped = 1;
    CQvImage* owner = nullptr;
};

namespace qv {

// GdiplusStartup/GdiplusShutdown pair. It lives inside the drawing
// service's singleton so GDI+ is up before the first image is drawn and
// stays up until the last drawing service user is gone at process exit.
class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool ok() const { return token_ != 0; }

private:
    Gdiplus::GdiplusStartupInput input_;
    ULONG_PTR token_ = 0;
};

}  // namespace qv

class QV_API CQvImage {
public:
    static CQvImage& Instance();

    CQvImage();
    ~CQvImage();
    // The instance is GDI+ itself: a copy would shut it down twice.
    CQvImage(const CQvImage&) = delete;
    CQvImage& operator=(const CQvImage&) = delete;

    // Module whose resources the resource forms read; null is the program.
    void SetInst(HINSTANCE module);
    // The module set, null until one is set or the first resource is read.
    HINSTANCE GetInst() const { return module_; }

    // Whole image (src null) or the part `src` of it into (x, y, w, h);
    // a zero w or h keeps the natural size of what is drawn.
    bool DrawImg(HDC dc, Gdiplus::Image* img, int x, int y, int w, int h, RECT* src = nullptr,
                 Gdiplus::ImageAttributes* attr = nullptr);
    bool DrawImg(HDC dc, IStream* stream, int x, int y, int w, int h, RECT* src = nullptr);
    bool DrawImg(HDC dc, const wchar_t* path, int x, int y, int w, int h, RECT* src = nullptr);
    bool DrawImg(HDC dc, int id, const wchar_t* type, int x, int y, int w, int h,
                 RECT* src = nullptr);

    // One of `count` side-by-side state slices, stretched whole, as three
    // columns (splitH > 0) or as three rows / a nine-part grid (splitV > 0).
    bool DrawStretchImg(HDC dc, Gdiplus::Image* img, int x, int y, int w, int h, int splitH,
                        int count, int index, int splitV);
    bool DrawStretchImg(HDC dc, IStream* stream, int x, int y, int w, int h, int splitH,
                        int count, int index, int splitV);
    bool DrawStretchImg(HDC dc, const wchar_t* path, int x, int y, int w, int h, int splitH,
                        int count, int index, int splitV);
    bool DrawStretchImg(HDC dc, int id, const wchar_t* type, int x, int y, int w, int h,
                        int splitH, int count, int index, int splitV);

    // Channel factors: 1, 1, 1, 1 draws unchanged; alpha 0.5 half transparent.
    bool DrawImgEx(HDC dc, IStream* stream, float r, float g, float b, float a, int x, int y,
                   int w, int h);
    bool DrawImgEx(HDC dc, const wchar_t* path, float r, float g, float b, float a, int x, int y,
                   int w, int h);
    bool DrawImgEx(HDC dc, int id, const wchar_t* type, float r, float g, float b, float a,
                   int x, int y, int w, int h);

    // Pixels between the two ARGB key colours become transparent.
    bool DrawTranImg(HDC dc, IStream* stream, DWORD high, DWORD low, int x, int y, int w, int h);
    bool DrawTranImg(HDC dc, const wchar_t* path, DWORD high, DWORD low, int x, int y, int w,
                     int h);
    bool DrawTranImg(HDC dc, int id, const wchar_t* type, DWORD high, DWORD low, int x, int y,
                     int w, int h);

    // Turned clockwise by `angle` degrees about the centre of its rectangle.
    bool DrawRotate(HDC dc, IStream* stream, int angle, int x, int y, int w, int h);
    bool DrawRotate(HDC dc, const wchar_t* path, int angle, int x, int y, int w, int h);
    bool DrawRotate(HDC dc, int id, const wchar_t* type, int angle, int x, int y, int w, int h);

    bool DrawRotateFlip(HDC dc, IStream* stream, int x, int y, int w, int h,
                        Gdiplus::RotateFlipType how, float alpha);
    bool DrawRotateFlip(HDC dc, const wchar_t* path, int x, int y, int w, int h,
                        Gdiplus::RotateFlipType how, float alpha);
    bool DrawRotateFlip(HDC dc, int id, const wchar_t* type, int x, int y, int w, int h,
                        Gdiplus::RotateFlipType how, float alpha);

    // The image's upper-left, upper-right and lower-left corners go to the
    // three points: a parallelogram, used for the flip effects.
    void DrawRotate3D(HDC dc, IStream* stream, int x1, int y1, int x2, int y2, int x3, int y3);
    void DrawRotate3D(HDC dc, int id, const wchar_t* type, int x1, int y1, int x2, int y2, int x3,
                      int y3);

    // `color` is a COLORREF; `alpha` is given apart. A zero width or height
    // draws from the point (x, y). The last argument is not used.
    void DrawString(HDC dc, HFONT font, const wchar_t* text, int x, int y, int w, int h,
                    DWORD color, int alpha, bool center, bool lineLimit, int reserved);

    // Sizes are 0 when the image cannot be loaded.
    bool GetImgSize(const wchar_t* path, int& w, int& h);
    bool GetImgSize(int id, int& w, int& h);
    bool CheckImage(const wchar_t* path);

    // Export. `format` is "png", "jpeg", "bmp", ...
    int GetEncoderClsid(const wchar_t* mime, GUID* clsid);
    bool BmToStream(HBITMAP bitmap, IStream* stream, const wchar_t* format);
    bool SaveScreen(const wchar_t* path, const wchar_t* format);
    bool SavePic(HDC dc, RECT rect, const wchar_t* path, const wchar_t* format);
    bool SavePic(HWND wnd, const wchar_t* path, const wchar_t* format);
    bool SavePic(const wchar_t* source, const wchar_t* path, const wchar_t* format);
    bool Zoom(const wchar_t* source, float percent, int w, int h, const wchar_t* path,
              const wchar_t* format);

    // Movies: small animations at (x, y, w, h) of a window's client area,
    // each played by a thread of its own. Effects: 0 frame strip (slice
    // `counter` of `frames`), 1 turn (rotate/flip type = counter), 2 rotate
    // in steps of 360 / frames degrees, 3 fade in and 4 fade out over
    // `frames` frames, played once. With a background DC the area under
    // the movie is copied from it before every frame. Registering an id
    // twice keeps the first registration; a new movie starts stopped.
    bool AddMovie(HWND wnd, int resId, const wchar_t* resType, int x, int y, int frames,
                  int delay, int id, int effect, int w, int h, HDC background);
    bool AddMovie(HWND wnd, const wchar_t* path, int x, int y, int frames, int delay, int id,
                  int effect, int w, int h, HDC background);
    // Starts a stopped movie; a running one is left as it is.
    void StartMovie(int id);
    // The thread ends before its next frame.
    void StopMovie(int id);
    // A fade that has played to its end stays "running" until StopMovie.
    bool isStop(int id);
    int GetMovieIndex(int id);  // -1 when unknown

private:
    // A movie and the thread serving it. A thread serves one generation:
    // a restart while the old thread still sleeps begins a new one, and
    // the new thread waits for the old to end before its first frame.
    struct MovieSlot {
        tagQvMovie movie;
        int generation = 0;
        qv::ScopedHandle thread;  // the latest thread, until the destructor or its successor takes it
    };
    struct MovieRun;

    bool isExistsMovie(int id);
    MovieSlot* FindMovie(int id);
    bool AddMovie(tagQvMovie movie);
    // Wakes every movie thread and waits until all have ended.
    void StopMovieThreads();
    static unsigned __stdcall MovieThread(void* run);

    using ImagePtr = std::unique_ptr<Gdiplus::Image>;

    // A resource image, decoded once and kept: the program's own images
    // never change while it runs. Holding one holds the lock of the cache,
    // as a GDI+ image must not be drawn from two threads at once.
    class ResImage {
    public:
        ResImage(std::unique_lock<std::recursive_mutex> lock, Gdiplus::Image* img)
            : lock_(std::move(lock)), img_(img) {}
        Gdiplus::Image* get() const { return img_; }

    private:
        std::unique_lock<std::recursive_mutex> lock_;
        Gdiplus::Image* img_;
    };

    // Decodes into premultiplied pixels, the form GDI+ blends from.
    Gdiplus::Bitmap* DecodeRes(HINSTANCE module, int id, const wchar_t* type);
    static ImagePtr LoadStream(IStream* stream);
    static ImagePtr LoadFile(const wchar_t* path);
    ResImage LoadRes(int id, const wchar_t* type);

    bool DrawSplitH(HDC dc, Gdiplus::Image* img, int x, int y, int w, int h, const RECT& src,
                    int splitH);
    bool DrawSplitV(HDC dc, Gdiplus::Image* img, int x, int y, int w, int h, const RECT& src,
                    int splitH, int splitV);
    bool DrawImgEx(HDC dc, Gdiplus::Image* img, float r, float g, float b, float a, int x, int y,
                   int w, int h);
    bool DrawTranImg(HDC dc, Gdiplus::Image* img, DWORD high, DWORD low, int x, int y, int w,
                     int h);
    bool DrawRotate(HDC dc, Gdiplus::Image* img, int angle, int x, int y, int w, int h);
    bool DrawRotateFlip(HDC dc, Gdiplus::Image* img, int x, int y, int w, int h,
                        Gdiplus::RotateFlipType how, float alpha);
    void DrawRotate3D(HDC dc, Gdiplus::Image* img, int x1, int y1, int x2, int y2, int x3,
                      int y3);
    bool SaveImage(Gdiplus::Image* img, const wchar_t* path, const wchar_t* format);
    // Draws into an existing graphics object; DrawImg's rules for sizes.
    static void DrawOn(Gdiplus::Graphics& g, Gdiplus::Image* img, int x, int y, int w, int h,
                       const RECT* src, Gdiplus::ImageAttributes* attr);

    // Declared first so it is destroyed last: GDI+ outlives everything
    // else the instance holds.
    qv::GdiplusSession gdiplus_;
    // Set by the destructor; the animation threads end when they see it.
    std::atomic<bool> stopping_{false};
    // A deque keeps every record at its address however many are added:
    // running movie threads hold them.
    std::deque<MovieSlot> movies_;
    // Signalled by the destructor: wakes the movie threads from their
    // frame delay so they end at once.
    qv::ScopedHandle stopEvent_;
    // Drawing runs on several threads; the first resource load may set it.
    std::atomic<HINSTANCE> module_{nullptr};
    // Decoded resource images by module, id and type; destroyed before
    // GDI+ shuts down.
    std::recursive_mutex resLock_;
    std::map<std::pair<HINSTANCE, std::wstring>, std::unique_ptr<Gdiplus::Bitmap>> resImages_;
};
