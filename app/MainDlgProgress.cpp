// What the main dialog draws, and the timer ticks that walk the progress
// animation towards the engine's last reported percentage.
#include <string>

#include "app/MainDlg.h"
#include "base/QvScoped.h"
#include "ui/QvAccItem.h"
#include "ui/QvImage.h"

namespace {

constexpr int kCardY = 89;
constexpr int kQuestionX = 35;
constexpr int kQuestionY = 146;
constexpr int kQuestionW = 210;
constexpr int kQuestionH = 30;
constexpr int kInkWidth = 279;
constexpr int kInkHeight = 23;
constexpr int kInkX = 75;
constexpr int kInkY = 150;
constexpr int kEraserX = 60;
constexpr int kEraserTravel = 240;
constexpr int kEraserLift = 30;
constexpr int kStepPercent = 10;

}  // namespace

void CMainDlg::DrawBackground(HDC dc, RECT) {
    // The card sits at the bottom; the band above it stays clear for the
    // eraser to move in.
    CQvImage& image = CQvImage::Instance();
    int w = 0, h = 0;
    image.GetImgSize(bgImageId, w, h);
    cardCache.Paint(dc, RECT{0, kCardY, w, kCardY + h}, std::to_wstring(bgImageId), [&](HDC to) {
        image.DrawImg(to, bgImageId, L"IMG", 0, kCardY, 0, 0, nullptr);
    });
}

void CMainDlg::DrawContent(HDC dc) {
    CQvImage& image = CQvImage::Instance();
    if (mode == 0) {
        const std::wstring question = Question();
        // The text is clipped to its box.
        const std::wstring look = question + L'|' +
                                  std::to_wstring(reinterpret_cast<ULONG_PTR>(font)) + L'|' +
                                  std::to_wstring(textColor);
        questionCache.Paint(dc, RECT{kQuestionX, kQuestionY, kQuestionX + kQuestionW,
                                     kQuestionY + kQuestionH},
                            look, [&](HDC to) {
                                image.DrawString(to, font, question.c_str(), kQuestionX,
                                                 kQuestionY, kQuestionW, kQuestionH, textColor,
                                                 254, false, true, 0);
                            });
        return;
    }
    const int shown = shownPercent;
    // The eraser bobs while it works and rests lifted once all is rubbed out.
    eraserTop = (eraserTop != 0 && shown < 100) ? 0 : kEraserLift;
    const int cut = shown * kInkWidth / 100;
    const int offset = shown * kEraserTravel / 100;
    RECT src{cut, 0, kInkWidth, kInkHeight};
    image.DrawImg(dc, IMG_MAIN_INK, L"IMG", kInkX + cut, kInkY, kInkWidth - cut, kInkHeight, &src);
    image.DrawImg(dc, IMG_MAIN_ERASER, L"IMG", kEraserX + offset, eraserTop, 0, 0, nullptr);
}

void CMainDlg::StepProgress() {
    if (shownPercent < targetPercent) {
        shownPercent = shownPercent + kStepPercent > 100 ? 100 : shownPercent + kStepPercent;
        if (progressItem) {
            progressItem->value = std::to_wstring(shownPercent) + L"%";
            ::NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, hwnd, OBJID_CLIENT,
                             static_cast<LONG>(AccessibleIndex(progressItem)));
        }
    }
    // Painted every tick, moved or not: the eraser bobs while it works.
    qv::ScopedWindowDC dc(hwnd);
    Paint(dc.get());
    if (shownPercent >= 100) {
        ::KillTimer(hwnd, kProgressTimer);
        FinishWhenDone();
    }
}
