#pragma once
// The uninstaller's only window: the confirmation question with its two
// buttons, then the progress animation in which an eraser rubs out a strip
// of ink while the engine removes the product.
#include <windows.h>

#include <atomic>
#include <string>

#include "app/QvUninstaller.h"
#include "ui/QvDlg.h"
#include "ui/QvPaintCache.h"

class CQvButton;

// Image resources of the main dialog (type "IMG").
enum MainDlgImage {
    IMG_MAIN_INK = 60026,         // 279 x 23 strip of ink, rubbed out as progress grows
    IMG_MAIN_ERASER = 60027,      // 137 x 157
    IMG_MAIN_BACKGROUND = 60052,  // 437 x 141 paper card at (0, 89)
    IMG_MAIN_CANCEL = 60073,      // three state frames side by side
    IMG_MAIN_UNINSTALL = 60074,
};

class CMainDlg : public CQvDlg {
public:
    CMainDlg();
    ~CMainDlg() override;

    void OnInit() override;
    void Paint(HDC target) override;
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    void DrawBackground(HDC dc, RECT rc) override;
    void DrawContent(HDC dc) override;

    static void OnCancelClick(void* dialog);
    static void OnUninstallClick(void* dialog);
    static unsigned ProgressThread(void* dialog);

    CQvButton* cancelButton = nullptr;
    CQvButton* uninstallButton = nullptr;
    CQvUninstaller uninstaller;
    int mode = 0;  // 0 question, 1 progress
    // Written by one thread and read by another (see ProgressThread).
    std::atomic<int> targetPercent{0};
    std::atomic<int> shownPercent{0};
    int eraserTop = 0;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    std::wstring productName;  // empty when the data file cannot be read
    UninstallSource dataSource = UninstallSource::Missing;

    // Tells the user that the uninstall stopped because its data file could
    // have been changed by someone else.
    static void ShowUntrustedNotice();

private:
    void ReadProductName();

    // The card and the question never change under a frame: drawn once,
    // then copied (the text is the costliest thing in a frame).
    qv::PaintCache cardCache;
    qv::PaintCache questionCache;
    bool openReported = false;
};
