#pragma once
// CQvBase, the root of every toolkit object (windows, dialogs, windowless
// controls), with the fields a dialog paints and feeds its controls by.
#include <windows.h>
#include <string>

// Mouse event codes a dialog hands to its controls' OnMouse.
enum QvMouseEvent {
    QV_MOUSE_LDOWN = 0,
    QV_MOUSE_LUP = 1,
    QV_MOUSE_MOVE = 4,
    QV_MOUSE_RUP = 5,
};

// Control callback: receives the event target, normally the dialog.
using QvCallback = void (*)(void* target);

// Microsoft YaHei sits higher in its cell than SimSun: control captions in
// other faces start this many pixels lower to look centred.
int QvCaptionOffsetY();

// Receiver of keyboard input for controls tagged "CQvEditEx".
class CQvKeySink {
public:
    virtual void OnKeyDown(WPARAM wParam, LPARAM lParam) = 0;
    virtual void OnChar(WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~CQvKeySink() = default;
};

// Where a control's state image comes from (imageSource).
enum QvImageSource {
    QV_IMAGE_FROM_SKIN = 0,  // as CQvSkin says, the program's resources as the fallback
    QV_IMAGE_FROM_FILE = 3,  // the control's own file, imagePath
};

// Root of every toolkit object: windows, dialogs and windowless controls.
class CQvBase {
public:
    CQvBase();
    virtual ~CQvBase();
    virtual void Show(bool show);
    virtual void DrawAt(HDC dc, int x, int y);
    virtual void Paint(HDC dc) = 0;
    virtual bool OnMouse(int x, int y, int event, void* target);

    // Keyboard focus. A control that can take it is in its dialog's Tab
    // order; Press does what a click on it does (the dialog's keys and
    // screen readers press through it).
    virtual bool CanFocus() const;
    void Press(void* downTarget, void* clickTarget);
    // Draws the keyboard focus mark inside the control placed at (x, y):
    // a dotted outline, drawn by the dialog while focusMarked is set.
    void DrawFocusMark(HDC dc, int x, int y) const;

    // What a screen reader reads (roles and states are the ROLE_SYSTEM_ and
    // STATE_SYSTEM_ values of oleacc.h). accName and accRole, when set,
    // replace what the control says of itself.
    virtual std::wstring AccessibleName() const;
    virtual long AccessibleRole() const;
    virtual long AccessibleState() const;
    virtual std::wstring AccessibleValue() const;
    virtual std::wstring DefaultAction() const;

    // Control side: repaint this control on its window now (from the
    // dialog's layers), whether any of it lies inside the window, and its
    // rectangle in window coordinates.
    void Refresh(bool updateCache);
    bool IsInWindow();
    void GetRect(RECT& r);

    void* notifyTarget = nullptr;
    int x = 0, y = 0;
    int width = 0, height = 0;
    int originX = 0, originY = 0;
    HFONT font = nullptr;
    COLORREF textColor = 0;
    HWND ownerWnd = nullptr;
    bool locked = false;
    bool visible = true;
    int imageSource = 0;
    int stateImages = 4;
    bool passDrag = false;
    HDC bgDC = nullptr;     // borrowed from the dialog
    HDC cacheDC = nullptr;  // borrowed from the dialog
    bool layeredMode = false;
    // The DPI its window is drawn at; positions and sizes stay in pixels at
    // 96 DPI whatever it is.
    UINT dpi = 96;
    std::wstring typeName;
    // Null means the object itself, when it implements CQvKeySink.
    CQvKeySink* keySink = nullptr;
    bool focusMarked = false;  // set by the dialog
    std::wstring accName;      // empty: the control's own name
    long accRole = 0;          // 0: the control's own role
    bool accHidden = false;    // true keeps it from screen readers
};
