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
    // eraser to move in. It never changes: drawn once, then copied into
    // every frame.
    if (cardImageId != bgImageId || !card.memDC) {
        int w = 0, h = 0;
        CQvImage& image = CQvImage::Instance();
        image.GetImgSize(bgImageId, w, h);
        RECT rc{0, 0, w, h};
        card.CreateMemDC(dc, rc, false, true, nullptr);
        if (!card.memDC || !card.bitmap) return;
        image.DrawImg(card.memDC, bgImageId, L"IMG", 0, 0, 0, 0, nullptr);
        cardImageId = bgImageId;
    }
    BLENDFUNCTION over{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::AlphaBlend(dc, 0, kCardY, card.rect.right, card.rect.bottom, card.memDC, 0, 0,
                 card.rect.right, card.rect.bottom, over);
}

void CMainDlg::DrawContent(HDC dc) {
    CQvImage& image = CQvImage::Instance();
    if (mode == 0) {
        std::wstring question = L"您确定要卸载" + productName + L"?";
        // The text lies on the card, which never changes: keep the card's
        // pixels with the text drawn over them, keyed by what was drawn.
        question += L'\n' + std::to_wstring(cardImageId);
        if (!questionLayer.memDC || question != questionDrawn) {
            RECT rc{0, 0, kQuestionW, kQuestionH};
            questionLayer.CreateMemDC(dc, rc, false, true, nullptr);
            if (!questionLayer.memDC || !questionLayer.bitmap) return;
            ::BitBlt(questionLayer.memDC, 0, 0, kQuestionW, kQuestionH, dc, kQuestionX, kQuestionY,
                     SRCCOPY);
            std::wstring text = question.substr(0, question.rfind(L'\n'));
            image.DrawString(questionLayer.memDC, font, text.c_str(), 0, 0, kQuestionW, kQuestionH,
                             textColor, 254, false, true, 0);
            questionDrawn = question;
        }
        ::BitBlt(dc, kQuestionX, kQuestionY, kQuestionW, kQuestionH, questionLayer.memDC, 0, 0,
                 SRCCOPY);
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
