#include "ui/QvText.h"

#include <utility>

#include "ui/QvFont.h"
#include "ui/QvImage.h"

CQvText::CQvText() : textOffsetY(QvCaptionOffsetY()) {
    passDrag = true;  // a label never blocks dragging its dialog
}

CQvText::~CQvText() = default;

void CQvText::Init(std::wstring text, int left, int top, int w, int h, bool centred) {
    caption = std::move(text);
    x = left;
    y = top;
    width = w;
    height = h;
    passDrag = true;
    centre = centred;
    textOffsetY = QvCaptionOffsetY();
}

void CQvText::SetFont(int size, COLORREF color, const wchar_t* face, int bold, int underline,
                      int italic) {
    font = CQvFont::Instance().GetFont(size, face, bold, underline, italic);
    textColor = color;
}

void CQvText::DrawAt(HDC dc, int px, int py) {
    if (!dc || caption.empty()) return;
    CQvImage::Instance().DrawString(dc, font, caption.c_str(), px, py + textOffsetY, width,
                                    height, textColor, 254, centre, true, 0);
}

void CQvText::Paint(HDC dc) {
    if (IsInWindow()) DrawAt(dc, x - originX, y - originY);
}
