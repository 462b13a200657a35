#pragma once
// The text label: a caption in the control's font and colour. It takes no
// mouse input, and a press on it may still drag the dialog.
#include <string>

#include "ui/QvBase.h"

class CQvText : public CQvBase {
public:
    CQvText();
    ~CQvText() override;

    void Init(std::wstring caption, int x, int y, int width, int height, bool centre);
    // Size 0 and a null face pick the font cache's defaults.
    void SetFont(int size, COLORREF color, const wchar_t* face, int bold, int underline,
                 int italic);

    void DrawAt(HDC dc, int x, int y) override;
    void Paint(HDC dc) override;
    std::wstring AccessibleName() const override;

    std::wstring caption;
    int textOffsetY = 0;
    bool centre = false;
};
