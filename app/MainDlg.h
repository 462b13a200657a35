#pragma once
// The uninstaller's only window: the confirmation question with its two
// buttons, then the progress animation in which an eraser rubs out a strip
// of ink while the engine removes the product.
#include <windows.h>

#include <string>
#include <vector>

#include "app/QvUninstaller.h"
#include "ui/QvDlg.h"
#include "ui/QvPaintCache.h"

class CQvAccItem;
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

    // The progress animation's timer on this window, and its tick.
    static constexpr UINT_PTR kProgressTimer = 1;
    static constexpr UINT kProgressStepMs = 200;

    CQvButton* cancelButton = nullptr;
    CQvButton* uninstallButton = nullptr;
    CQvUninstaller uninstaller;
    int mode = 0;  // 0 question, 1 progress
    // The engine's last percent, and the one the eraser shows: it walks
    // towards the engine's, one step a tick of the window's own timer.
    int targetPercent = 0;
    int shownPercent = 0;
    int eraserTop = 0;
    // The engine has run every step (WM_UNINSTALL_DONE).
    bool engineDone = false;
    std::wstring productName;  // empty when the data file cannot be read
    UninstallSource dataSource = UninstallSource::Missing;

    // Tells the user that the uninstall stopped because its data file could
    // have been changed by someone else.
    static void ShowUntrustedNotice();

    // The question the dialog asks: without a product to name, what the
    // button will still do.
    std::wstring Question() const;
    // One tick of the progress animation.
    void StepProgress();
    // Once the eraser is through and the engine is done: tells the user of
    // files that stayed, then hands over to the self-deletion.
    void FinishWhenDone();
    // Tells the user which files a running program kept, and what happens
    // to them.
    void ShowStayedNotice(const std::vector<std::wstring>& stayed, int scheduled);

private:
    void ReadProductName();
    void AddAccessibleItems();

    // The card and the question never change under a frame: drawn once,
    // then copied (the text is the costliest thing in a frame).
    qv::PaintCache cardCache;
    qv::PaintCache questionCache;
    bool openReported = false;
    bool finishing = false;
    CQvAccItem* questionItem = nullptr;  // owned through controls
    CQvAccItem* progressItem = nullptr;
};
