// Movies: frame animations that a thread of their own draws into a memory
// DC and copies onto a window, one frame per delay.
#include <process.h>

#include <algorithm>
#include <atomic>
#include <utility>

#include "ui/QvDC.h"
#include "ui/QvImage.h"

namespace {

// The stopped flag and the generation are written by the caller's thread
// and read by the movie thread once per frame.
int Load(const int& flag) {
    return std::atomic_ref<int>(const_cast<int&>(flag)).load();
}
void Store(int& flag, int value) {
    std::atomic_ref<int>(flag).store(value);
}

enum MovieEffect { kStrip = 0, kTurn = 1, kRotate = 2, kFadeIn = 3, kFadeOut = 4 };

// Draws frame `counter` into `dc` at (0, 0).
void DrawFrame(CQvImage& img, const tagQvMovie& m, HDC dc, int counter, float fade) {
    const bool file = m.sourceKind == 1;
    const wchar_t* path = m.filePath.c_str();
    const wchar_t* type = m.resType.c_str();
    switch (m.effect) {
        case kStrip:
            if (file) img.DrawStretchImg(dc, path, 0, 0, 0, 0, 0, m.frames, counter, 0);
            else img.DrawStretchImg(dc, m.resId, type, 0, 0, 0, 0, 0, m.frames, counter, 0);
            break;
        case kTurn: {
            const auto how = static_cast<Gdiplus::RotateFlipType>(counter);
            if (file) img.DrawRotateFlip(dc, path, 0, 0, 0, 0, how, 1.0f);
            else img.DrawRotateFlip(dc, m.resId, type, 0, 0, 0, 0, how, 1.0f);
            break;
        }
        case kRotate: {
            const int angle = 360 / m.frames * counter;
            if (file) img.DrawRotate(dc, path, angle, 0, 0, 0, 0);
            else img.DrawRotate(dc, m.resId, type, angle, 0, 0, 0, 0);
            break;
        }
        case kFadeIn:
        case kFadeOut:
            if (file) img.DrawImgEx(dc, path, 1, 1, 1, fade, 0, 0, m.width, m.height);
            else img.DrawImgEx(dc, m.resId, type, 1, 1, 1, fade, 0, 0, m.width, m.height);
            break;
        default:
            break;  // unknown effects show the background alone
    }
}

tagQvMovie MovieRecord(HWND wnd, int x, int y, int frames, int delay, int id, int effect, int w,
                       int h, HDC background) {
    tagQvMovie m;
    m.window = wnd;
    m.bgDC = background;
    m.id = id;
    m.effect = effect;
    m.x = x, m.y = y, m.width = w, m.height = h;
    m.frames = frames;
    m.delay = delay;
    return m;
}

}  // namespace

// What one movie thread serves, and the thread it follows.
struct CQvImage::MovieRun {
    MovieSlot* slot;
    int generation;
    qv::ScopedHandle previous;  // waited for, then closed, by the new thread
};

bool CQvImage::AddMovie(HWND wnd, int resId, const wchar_t* resType, int x, int y, int frames,
                        int delay, int id, int effect, int w, int h, HDC background) {
    tagQvMovie m = MovieRecord(wnd, x, y, frames, delay, id, effect, w, h, background);
    m.sourceKind = 0;
    m.resId = resId;
    m.resType = resType ? resType : L"";
    return AddMovie(std::move(m));
}

bool CQvImage::AddMovie(HWND wnd, const wchar_t* path, int x, int y, int frames, int delay,
                        int id, int effect, int w, int h, HDC background) {
    tagQvMovie m = MovieRecord(wnd, x, y, frames, delay, id, effect, w, h, background);
    m.sourceKind = 1;
    m.filePath = path ? path : L"";
    return AddMovie(std::move(m));
}

bool CQvImage::AddMovie(tagQvMovie movie) {
    if (isExistsMovie(movie.id)) return true;
    // A cycle has at least one frame: the strip and rotation divide by it.
    movie.frames = std::max(movie.frames, 1);
    movie.stopped = 1;
    movie.owner = this;
    movies_.push_back(MovieSlot{std::move(movie)});
    return true;
}

CQvImage::MovieSlot* CQvImage::FindMovie(int id) {
    for (MovieSlot& slot : movies_)
        if (slot.movie.id == id) return &slot;
    return nullptr;
}

int CQvImage::GetMovieIndex(int id) {
    for (size_t i = 0; i < movies_.size(); ++i)
        if (movies_[i].movie.id == id) return static_cast<int>(i);
    return -1;
}

bool CQvImage::isExistsMovie(int id) {
    return GetMovieIndex(id) >= 0;
}

bool CQvImage::isStop(int id) {
    MovieSlot* slot = FindMovie(id);
    return slot && Load(slot->movie.stopped);
}

void CQvImage::StopMovie(int id) {
    if (MovieSlot* slot = FindMovie(id)) Store(slot->movie.stopped, 1);
}

void CQvImage::StartMovie(int id) {
    MovieSlot* slot = FindMovie(id);
    if (!slot || !Load(slot->movie.stopped) || stopping_) return;
    // The new generation is published before the flag is cleared, so a
    // thread from before StopMovie that wakes now ends instead of going on.
    auto* run = new MovieRun{slot, slot->generation + 1, std::move(slot->thread)};
    Store(slot->generation, run->generation);
    Store(slot->movie.stopped, 0);
    uintptr_t h = ::_beginthreadex(nullptr, 0, MovieThread, run, 0, nullptr);
    if (!h) {
        // The old thread stays the record's latest; the movie can be
        // started again.
        slot->thread = std::move(run->previous);
        delete run;
        Store(slot->movie.stopped, 1);
        return;
    }
    slot->thread.reset(reinterpret_cast<HANDLE>(h));
}

void CQvImage::StopMovieThreads() {
    if (stopEvent_) ::SetEvent(stopEvent_.get());
    // Each thread waits for the one it follows, so the latest of each
    // record is the only one left to wait for.
    for (MovieSlot& slot : movies_) {
        if (!slot.thread) continue;
        ::WaitForSingleObject(slot.thread.get(), INFINITE);
        slot.thread.reset();
    }
}

unsigned __stdcall CQvImage::MovieThread(void* p) {
    MovieRun run = std::move(*static_cast<MovieRun*>(p));
    delete static_cast<MovieRun*>(p);
    // One thread draws a record at a time: the one stopped just before
    // this start finishes its last frame and sleep first.
    if (run.previous) {
        ::WaitForSingleObject(run.previous.get(), INFINITE);
        run.previous.reset();
    }
    MovieSlot& slot = *run.slot;
    const tagQvMovie& m = slot.movie;
    CQvImage& owner = *m.owner;
    auto running = [&] {
        return !owner.stopping_ && !Load(m.stopped) && Load(slot.generation) == run.generation;
    };
    if (!running()) return 0;

    qv::ScopedWindowDC windowDC(m.window);
    RECT rect{m.x, m.y, m.x + m.width, m.y + m.height};
    CQvDC buffer(windowDC.get(), rect, false, false, m.window);
    const DWORD delay = static_cast<DWORD>(std::max(m.delay, 0));
    const bool fade = m.effect == kFadeIn || m.effect == kFadeOut;
    int counter = 0;
    while (running()) {
        if (m.bgDC)
            ::BitBlt(buffer.memDC, 0, 0, m.width, m.height, m.bgDC, m.x, m.y, SRCCOPY);
        // A fade of one frame is its end state at once.
        float t = m.frames > 1 ? static_cast<float>(counter) / static_cast<float>(m.frames - 1)
                               : 1.0f;
        DrawFrame(owner, m, buffer.memDC, counter, m.effect == kFadeOut ? 1.0f - t : t);
        const bool last = fade && counter == m.frames - 1;
        // The end state of a fade is drawn but not shown, unless it is the
        // only frame.
        if (last && m.frames > 1) break;
        buffer.Draw();
        if (last) break;
        // The destructor wakes the sleep; StopMovie takes effect after it.
        ::WaitForSingleObject(owner.stopEvent_.get(), delay);
        counter = (counter + 1) % m.frames;
    }
    return 0;
}
