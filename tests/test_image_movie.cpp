// Movies, watched on screen: every frame a movie thread presents is read
// back from the window and classified (rotation angle, fade level, slice
// colour). Threads are counted in the process snapshot.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

#include "support/ImageFixtures.h"
#include "support/TestUtil.h"
#include "ui/QvImage.h"

using namespace qvtest;

namespace {

constexpr DWORD kWait = 30000;  // generous: the machine may be busy

// Threads of this process that have not ended (an ended thread may still
// be listed while a handle to it is open).
int ThreadCount() {
    qv::ScopedHandle snap(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL ok = ::Thread32First(snap.get(), &entry); ok;
         ok = ::Thread32Next(snap.get(), &entry)) {
        if (entry.th32OwnerProcessID != ::GetCurrentProcessId()) continue;
        qv::ScopedHandle thread(
            ::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID));
        DWORD code = 0;
        if (thread && ::GetExitCodeThread(thread.get(), &code) && code == STILL_ACTIVE) ++count;
    }
    return count;
}

bool WaitThreads(int count) {
    return PumpUntil([&] { return ThreadCount() == count; }, kWait);
}

// A plain visible popup whose background is never erased, filled with
// `fill` so that a movie's first frame is told apart from the window.
// (Hiding a shown window costs two seconds under Wine without a window
// manager: tests share one window where they can.)
class MovieWindow {
public:
    explicit MovieWindow(COLORREF fill = RGB(0, 0, 255)) : fill_(fill) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QvMovieTest";
        ::RegisterClassW(&wc);
        wnd_ = ::CreateWindowExW(WS_EX_TOPMOST, L"QvMovieTest", L"movie", WS_POPUP | WS_VISIBLE,
                                 20, 20, kSize, kSize, nullptr, nullptr, wc.hInstance, nullptr);
        Fill();
    }
    ~MovieWindow() { ::DestroyWindow(wnd_); }
    MovieWindow(const MovieWindow&) = delete;
    MovieWindow& operator=(const MovieWindow&) = delete;
    HWND get() const { return wnd_; }
    void Fill() {
        qv::ScopedWindowDC dc(wnd_);
        qv::ScopedBrush brush(::CreateSolidBrush(fill_));
        RECT rc{0, 0, kSize, kSize};
        ::FillRect(dc.get(), &rc, brush.get());
    }

private:
    static constexpr int kSize = 160;
    COLORREF fill_;
    HWND wnd_ = nullptr;
};

// Reads the window until `count` successive different frames were seen.
// `classify` gives a frame's value (NAN: not a movie frame); frames whose
// values differ by less than `same` are one frame.
std::vector<double> WatchFrames(HWND wnd, const std::function<double(const Pixels&)>& classify,
                                size_t count, double same) {
    std::vector<double> seen;
    PumpUntil(
        [&] {
            double v = classify(ReadWindow(wnd));
            if (!std::isnan(v) && (seen.empty() || std::fabs(v - seen.back()) >= same))
                seen.push_back(v);
            return seen.size() >= count;
        },
        kWait);
    return seen;
}

// A red arm from the centre of a 121 × 121 image to its right edge.
constexpr int kArmSize = 121;
std::vector<BYTE> ArmPng() {
    return MakePng(kArmSize, kArmSize, [](int x, int y) {
        return x >= kArmSize / 2 && std::abs(y - kArmSize / 2) <= 2 ? kRed : 0u;
    });
}

// The direction of the red arm about (cx, cy), degrees clockwise from the
// right, 0 to 360; NAN when there is no arm.
double ArmAngle(const Pixels& p, int cx, int cy) {
    double sx = 0, sy = 0, weight = 0;
    for (int y = cy - 58; y <= cy + 58; ++y) {
        for (int x = cx - 58; x <= cx + 58; ++x) {
            DWORD px = p.at(x, y);
            int red = (px >> 16) & 0xFF, blue = px & 0xFF;
            double r = std::hypot(x - cx, y - cy);
            if (r < 15 || r > 55 || red < 128 || blue > 64) continue;
            sx += red * (x - cx) / r;
            sy += red * (y - cy) / r;
            weight += red;
        }
    }
    if (weight < 255 * 20) return NAN;
    double deg = std::atan2(sy, sx) * 180 / std::numbers::pi;
    return deg < -0.5 ? deg + 360 : deg;
}

// The grey level at (x, y); NAN while the window's own blue shows.
double Grey(const Pixels& p, int x, int y) {
    DWORD px = p.at(x, y);
    if ((px & 0xFF) > ((px >> 8) & 0xFF) + 40) return NAN;
    return (px >> 8) & 0xFF;
}

class Movies : public ::testing::Test {
protected:
    CQvImage& img = CQvImage::Instance();
    TempDir dir{L"qvmovie"};
    // Black under every movie: each frame starts from a clean area.
    Canvas black{200, 200, kBlack};
    int baseline = ThreadCount();

    std::wstring File(const wchar_t* name, const std::vector<BYTE>& png) {
        std::wstring path = dir / name;
        EXPECT_TRUE(WriteBytes(path, png));
        return path;
    }
};

}  // namespace

TEST_F(Movies, RotationStepsAreWholeDegreesAndRepeat) {
    std::wstring arm = File(L"arm.png", ArmPng());
    MovieWindow wnd;
    for (int frames : {8, 7}) {
        wnd.Fill();
        const int id = 100 + frames;
        ASSERT_TRUE(img.AddMovie(wnd.get(), arm.c_str(), 10, 10, frames, 300, id, 2, kArmSize,
                                 kArmSize, black.dc()));
        img.StartMovie(id);
        const int centre = 10 + kArmSize / 2;
        auto seen = WatchFrames(
            wnd.get(), [&](const Pixels& p) { return ArmAngle(p, centre, centre); },
            frames + 1, 10);
        img.StopMovie(id);
        ASSERT_EQ(static_cast<size_t>(frames + 1), seen.size()) << frames << " frames";
        const int step = 360 / frames;  // 45, or 51 for 7 frames (not 51.4)
        for (int k = 0; k < frames; ++k)
            EXPECT_NEAR(step * k, seen[k], 1.0) << frames << " frames, frame " << k;
        EXPECT_NEAR(0, seen[frames], 1.0) << "the cycle starts again";
        EXPECT_TRUE(WaitThreads(baseline));
    }
}

TEST_F(Movies, FadesShowEveryLevelButTheLast) {
    std::wstring path = File(L"white.png", MakePng(20, 20, [](int, int) { return kWhite; }));
    auto level = [](const Pixels& p) { return Grey(p, 20, 20); };
    struct Fade {
        int effect, frames;
        std::vector<double> shown;
    };
    const Fade fades[] = {
        {3, 5, {0, 63.75, 127.5, 191.25}},  // fade in: level 1 is drawn, not shown
        {4, 3, {255, 127.5}},               // fade out: level 0 is not shown
        {3, 1, {255}},                      // one frame: its end state, shown once
        {3, 0, {255}},                      // fewer frames count as one
        {4, -3, {0}},
    };
    int id = 300;
    MovieWindow wnd;
    for (const Fade& fade : fades) {
        wnd.Fill();
        ++id;
        ASSERT_TRUE(img.AddMovie(wnd.get(), path.c_str(), 10, 10, fade.frames, 200, id,
                                 fade.effect, 20, 20, black.dc()));
        img.StartMovie(id);
        auto seen = WatchFrames(wnd.get(), level, fade.shown.size(), 20);
        ASSERT_EQ(fade.shown.size(), seen.size()) << id;
        for (size_t k = 0; k < seen.size(); ++k) EXPECT_NEAR(fade.shown[k], seen[k], 3) << id;
        // The thread ends by itself; the last level shown stays.
        EXPECT_TRUE(WaitThreads(baseline)) << id;
        EXPECT_NEAR(fade.shown.back(), level(ReadWindow(wnd.get())), 3) << id;
        EXPECT_FALSE(img.isStop(id)) << "a fade that ended stays marked running";
        img.StartMovie(id);
        EXPECT_EQ(baseline, ThreadCount()) << "still marked running: no new thread";
    }
    img.StopMovie(id);
    EXPECT_TRUE(img.isStop(id));
}

TEST_F(Movies, StripAndTurnFromResources) {
    // A local service reads its own resource module.
    CQvImage local;
    auto strip = MakeStrip(10, 8, {kRed, kGreen, kBlue, kYellow});
    // 20 × 10: red left half, green right half.
    auto halves = MakePng(20, 10, [](int x, int) { return x < 10 ? kRed : kGreen; });
    ResourceModule res(dir, {{7001, strip}, {7002, halves}});
    ASSERT_TRUE(res.ok());
    local.SetInst(res.module());

    MovieWindow wnd(RGB(90, 90, 90));  // not one of the slice colours
    ASSERT_TRUE(local.AddMovie(wnd.get(), 7001, L"IMG", 5, 5, 4, 200, 1, 0, 10, 8, black.dc()));
    ASSERT_TRUE(local.AddMovie(wnd.get(), 7002, L"IMG", 40, 40, 4, 200, 2, 1, 20, 20, black.dc()));
    local.StartMovie(1);
    // The slice colour: 0 red, 1 green, 2 blue, 3 yellow.
    auto slice = [](const Pixels& p) {
        switch (p.at(9, 9) & 0xFFFFFF) {
            case kRed & 0xFFFFFF: return 0.0;
            case kGreen & 0xFFFFFF: return 1.0;
            case kBlue & 0xFFFFFF: return 2.0;
            case kYellow & 0xFFFFFF: return 3.0;
            default: return double(NAN);
        }
    };
    auto seen = WatchFrames(wnd.get(), slice, 5, 0.5);
    EXPECT_EQ((std::vector<double>{0, 1, 2, 3, 0}), seen);
    local.StopMovie(1);

    // Turn: none, 90, 180, 270 degrees clockwise. The corners of the
    // 20 × 20 area tell them apart: (top-left, bottom-right).
    local.StartMovie(2);
    auto turn = [](const Pixels& p) {
        DWORD tl = p.at(42, 42) & 0xFFFFFF, br = p.at(48, 57) & 0xFFFFFF;
        DWORD tr = p.at(57, 42) & 0xFFFFFF;
        const DWORD r = kRed & 0xFFFFFF, g = kGreen & 0xFFFFFF;
        if (tl == r && tr == g && br == 0) return 0.0;  // 20 × 10 as it is
        if (tl == r && br == g) return 1.0;             // 10 × 20, left half on top
        if (tl == g && tr == r) return 2.0;
        if (tl == g && br == r) return 3.0;
        return double(NAN);
    };
    seen = WatchFrames(wnd.get(), turn, 5, 0.5);
    EXPECT_EQ((std::vector<double>{0, 1, 2, 3, 0}), seen);
}

TEST_F(Movies, OneThreadPerMovieWhateverTheCalls) {
    auto strip = MakeStrip(10, 8, {kRed, kGreen});
    std::wstring path = File(L"strip.png", strip);
    MovieWindow wnd;
    ASSERT_TRUE(img.AddMovie(wnd.get(), path.c_str(), 0, 0, 2, 150, 401, 0, 10, 8, nullptr));
    // The same id again keeps the first registration.
    ASSERT_TRUE(img.AddMovie(wnd.get(), L"other.png", 50, 50, 9, 1, 401, 3, 1, 1, nullptr));
    const int index = img.GetMovieIndex(401);
    ASSERT_GE(index, 0);
    EXPECT_EQ(-1, img.GetMovieIndex(-401));
    EXPECT_TRUE(img.isStop(401)) << "a new movie does not run";
    EXPECT_FALSE(img.isStop(-401));
    EXPECT_EQ(baseline, ThreadCount());

    img.StartMovie(401);
    EXPECT_FALSE(img.isStop(401));
    EXPECT_EQ(baseline + 1, ThreadCount());
    img.StartMovie(401);
    EXPECT_EQ(baseline + 1, ThreadCount()) << "a running movie starts no second thread";
    auto colour = [](const Pixels& p) { return double(p.at(5, 4) & 0xFFFFFF); };
    auto seen = WatchFrames(wnd.get(), colour, 3, 1);
    EXPECT_EQ((std::vector<double>{kRed & 0xFFFFFF, kGreen & 0xFFFFFF, kRed & 0xFFFFFF}), seen)
        << "the first registration plays";

    img.StopMovie(401);
    EXPECT_TRUE(img.isStop(401));
    EXPECT_TRUE(WaitThreads(baseline)) << "StopMovie ends the thread";

    // Stopped and started again while the old thread still sleeps: the old
    // one ends, one thread plays on.
    img.StartMovie(401);
    EXPECT_EQ(1u, WatchFrames(wnd.get(), colour, 1, 1).size());
    img.StopMovie(401);
    img.StartMovie(401);
    EXPECT_TRUE(WaitThreads(baseline + 1));
    seen = WatchFrames(wnd.get(), colour, 3, 1);
    EXPECT_EQ(3u, seen.size()) << "the movie plays on";
    EXPECT_EQ(baseline + 1, ThreadCount());
    img.StopMovie(401);
    EXPECT_TRUE(WaitThreads(baseline));
    EXPECT_EQ(index, img.GetMovieIndex(401));
    // Unknown ids are ignored.
    img.StartMovie(-401);
    img.StopMovie(-401);
    EXPECT_EQ(baseline, ThreadCount());
}

TEST_F(Movies, DestroyingTheServiceEndsItsMovieThreadsFirst) {
    auto strip = MakeStrip(10, 8, {kRed, kGreen});
    std::wstring path = File(L"strip.png", strip);
    MovieWindow wnd;
    auto local = std::make_unique<CQvImage>();
    // Long delays: the threads are asleep when the service goes. More than
    // a hundred records are added while two movies run: theirs must not move.
    auto add = [&](int id) {
        local->AddMovie(wnd.get(), path.c_str(), id % 10 * 12, id / 10 * 10, 2, 60000, id, id % 5,
                        10, 8, nullptr);
    };
    for (int id = 0; id < 10; ++id) add(id);
    local->StartMovie(0);
    // Once its first frame shows, movie 0 is asleep in its delay.
    ASSERT_TRUE(PumpUntil([&] { return (ReadWindow(wnd.get()).at(5, 4) & 0xFFFFFF) == (kRed & 0xFFFFFF); }, kWait));
    local->StartMovie(3);
    for (int id = 10; id < 120; ++id) add(id);
    local->StartMovie(60);
    local->StartMovie(119);
    EXPECT_FALSE(local->isStop(0));
    EXPECT_EQ(119, local->GetMovieIndex(119));
    // Restarted while asleep: a second thread waits for the first.
    local->StopMovie(0);
    local->StartMovie(0);
    EXPECT_EQ(baseline + 5, ThreadCount());
    local.reset();
    EXPECT_EQ(baseline, ThreadCount()) << "every movie thread ended before the records went";
}
