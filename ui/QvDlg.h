#pragma once
// The toolkit's borderless, image-skinned dialog. It has no Win32 child
// controls: it paints, hit-tests and feeds its windowless controls itself,
// lets the user drag it by its free area and resize it by its borders, and
// shows and hides itself with one of fourteen effects.
#include <windows.h>

#include <atomic>
#include <vector>

#include "base/QvScoped.h"
#include "ui/QvDC.h"
#include "ui/QvWin.h"

// Posted by a dialog to its own window when a show or hide effect is over.
constexpr UINT WM_QV_ANIMATED = 0x1C39;
// Posted to a dialog to press one of its controls: wParam is the control's
// index in `controls` (how screen readers press, off their own call).
constexpr UINT WM_QV_PRESS = 0x1C3B;

class CQvAccessible;

// Show and hide effects accepted by Animate and ShowDlg (-1: none).
enum QvEffect {
    QV_EFFECT_NONE = -1,
    QV_EFFECT_SLIDE_IN = 0,
    QV_EFFECT_UNROLL = 1,
    QV_EFFECT_ROLL_UP = 2,
    QV_EFFECT_SLIDE_OUT = 3,
    QV_EFFECT_OPEN_MIDDLE = 4,
    QV_EFFECT_COLLAPSE_MIDDLE = 5,
    QV_EFFECT_FADE_IN = 6,
    QV_EFFECT_FADE_OUT = 7,
    QV_EFFECT_ZOOM_IN = 8,
    QV_EFFECT_SWELL_VANISH = 9,
    QV_EFFECT_FLIP_OVER = 10,
    QV_EFFECT_FLIP_CLOSED = 11,
    QV_EFFECT_WIPE_OPEN = 12,
    QV_EFFECT_WIPE_CLOSED = 13,
};

// Edge or corner a border resize moves.
enum QvResizeEdge {
    QV_EDGE_NONE = -1,
    QV_EDGE_LEFT = 0,
    QV_EDGE_TOP = 1,
    QV_EDGE_RIGHT = 2,
    QV_EDGE_BOTTOM = 3,
    QV_EDGE_BOTTOM_LEFT = 4,
    QV_EDGE_BOTTOM_RIGHT = 5,
};

class CQvDlg : public CQvWin {
public:
    CQvDlg();
    // Waits for an effect still running on a worker: it uses the dialog.
    ~CQvDlg() override;
    // The layers own their DCs and bitmaps; a copy would release them twice.
    CQvDlg(const CQvDlg&) = delete;
    CQvDlg& operator=(const CQvDlg&) = delete;

    void Paint(HDC target) override;
    void OnInit() override;
    void SetupControls() override;
    LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

    virtual void OnMouseWheel(int keys, int delta, int x, int y);
    virtual void OnMouseHover(WPARAM wParam, LPARAM lParam);
    virtual void OnMouseLeave(WPARAM wParam, LPARAM lParam);
    virtual void OnSize(WPARAM wParam, LPARAM lParam);
    virtual void OnMouseMove(WPARAM wParam, LPARAM lParam);
    virtual void AfterMouseMove(int x, int y);
    virtual void OnLButtonUp(WPARAM wParam, LPARAM lParam);
    virtual void OnLButtonDown(WPARAM wParam, LPARAM lParam);
    virtual void OnLButtonDblClk(WPARAM wParam, LPARAM lParam);
    virtual void OnRButtonUp(WPARAM wParam, LPARAM lParam);
    virtual void OnKeyDown(WPARAM wParam, LPARAM lParam);
    virtual void OnChar(WPARAM wParam, LPARAM lParam);
    virtual void DrawBackground(HDC dc, RECT rc);
    virtual void DrawContent(HDC dc);
    // Runs one effect on the calling thread and returns when it is over.
    virtual void Animate(int effect);
    virtual void ShowDlg(int effect, bool center, int showCmd);

    // Runs Animate(effect) on a detached worker thread.
    void StartAnimation(int effect);
    static unsigned AnimationThread(void* dialog);
    void Hide();
    void SetRoundRgn();
    bool CanDrag(int x, int y);
    bool CheckResize(int x, int y, bool begin);
    bool DoResize(bool end);
    // Constant window alpha for the fading effects; taken modulo 256. A
    // layered dialog fades through the blend of the frames it presents.
    void SetAlpha(int alpha);

    // Keyboard focus among the controls that CanFocus, in their order in
    // `controls`: Tab, Shift+Tab and the arrows move it, Space and Enter
    // press the focused control, Enter with none focused presses
    // defaultControl, Escape presses cancelControl (or closes the dialog).
    // The focus is marked once the keyboard has moved it, as Windows does.
    CQvBase* FocusedControl() const;
    // Null takes the focus away; a control that cannot focus is refused.
    bool SetFocusControl(CQvBase* control, bool showMark);
    // Presses a control as a click would.
    void PressControl(CQvBase* control);
    // The keys the dialog itself handles; false for any other.
    virtual bool OnDialogKey(WPARAM key, LPARAM lParam);
    // Escape: presses cancelControl, or asks the window to close.
    virtual void OnEscape();
    // The client area in the dialog's units (pixels at 96 DPI).
    RECT LogicalClient() const;
    // The controls a screen reader sees (visible, not accHidden), in order.
    std::vector<CQvBase*> AccessibleControls() const;
    // A control's child id for screen readers (1-based); 0 when it has none.
    LONG AccessibleIndex(const CQvBase* control) const;

    int result = 2;
    CQvDC bgLayer;     // background at client size; controls erase from it
    CQvDC frameLayer;  // last complete frame; controls recompose from it
    CQvDC composeLayer;  // a layered dialog's frame being composed
    int pendingEffect = 0;
    int captionHeight = 30;
    bool dragAnywhere = false;
    bool draggable = true;
    bool roundCorners = true;
    // Written by the effect worker and read by the user-interface thread.
    std::atomic<bool> hidden{false};
    std::atomic<bool> inputSuspended{false};
    std::atomic<bool> animating{false};
    // True while a layered dialog shows exactly frameLayer at shownSize;
    // anything else that presents to the window clears it.
    std::atomic<bool> frameShown{false};
    SIZE shownSize{};
    // The alpha SetAlpha last gave the window; 255 until a fade.
    std::atomic<int> fadeAlpha{255};
    bool leaveTracking = false;
    int resizeEdge = QV_EDGE_NONE;
    std::vector<CQvBase*> controls;  // not owned
    int bgImageId = 60051;
    HDC parentBgDC = nullptr;
    int bgSplitV = 30;
    int bgSplitH = 3;
    COLORREF bgColor = RGB(255, 255, 255);
    int minWidth = 50;
    int minHeight = 50;
    bool resizable = false;
    bool liveResize = false;
    CQvBase* defaultControl = nullptr;  // not owned
    CQvBase* cancelControl = nullptr;   // not owned
    bool focusCues = false;             // the focus mark shows

private:
    static bool Eligible(const CQvBase* control);
    bool Focusable(const CQvBase* control) const;
    void MoveFocus(int step);
    LRESULT AnswerGetObject(WPARAM wParam, LPARAM lParam);
    // The window moved to a screen of another DPI: lay it out again there.
    void OnDpiChanged(UINT newDpi, const RECT* suggested);
    void DropAccessible();
    void CreateLayers();
    void PaintLayered(HDC target, const RECT& rc);
    void MoveFrame(int left, int top, int w, int h, UINT flags = SWP_SHOWWINDOW);
    void RunEffect(int effect);
    // A show effect must not end invisible because an earlier one faded
    // the dialog out.
    void RestoreOpacity();
    void SlideIn();
    void CollapseToMiddle();
    void ZoomIn();
    void SwellAndVanish();
    void OpenFromMiddle();
    void Flip(bool closing);

    // The worker of the last StartAnimation; null once waited for.
    qv::ScopedHandle animationThread_;
    CQvBase* focus_ = nullptr;
    // Handed to screen readers; told when the dialog goes.
    CQvAccessible* accessible_ = nullptr;
};
