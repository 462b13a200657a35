// What the main dialog draws, and the thread that walks the progress
// animation towards the engine's last reported percentage.
#include <string>

#include "app/MainDlg.h"
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
constexpr DWORD kStepMs = 200;

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
        std::wstring question = L"您确定要卸载" + productName + L"?";
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

unsigned CMainDlg::ProgressThread(void* dialog) {
    auto* dlg = static_cast<CMainDlg*>(dialog);
    if (!dlg) return 0;
    while (!dlg->cancelled) {
        if (dlg->shownPercent < dlg->targetPercent) dlg->shownPercent += kStepPercent;
        ::SendMessageW(dlg->hwnd, WM_PAINT, 0, 0);
        ::Sleep(kStepMs);
        if (dlg->shownPercent >= 100) break;
    }
    // The first 100 can arrive while the engine still removes the uninstall
    // key and the shortcuts: wait for its worker to have run every step, or
    // the self-deletion would cut that work off.
    while (!dlg->finished || !dlg->uninstaller.IsWorkDone()) ::Sleep(50);
    dlg->uninstaller.DeleteSelf();
    // Only reached when the batch file could not be written.
    ::SendMessageW(dlg->hwnd, WM_CLOSE, 0, 0);
    return 0;
}
