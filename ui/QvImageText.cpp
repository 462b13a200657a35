// Text drawn with GDI+.
#include "ui/QvImage.h"
#include "ui/QvDpiGraphics.h"

void CQvImage::DrawString(HDC dc, HFONT font, const wchar_t* text, int x, int y, int w, int h,
                          DWORD color, int alpha, bool center, bool lineLimit, int) {
    if (!dc || !text) return;
    QvDeviceSpace space(dc);
    Gdiplus::Graphics g(dc);
    QvMatchTransform(g, space);
    if (!font) font = static_cast<HFONT>(::GetCurrentObject(dc, OBJ_FONT));
    Gdiplus::Font gdiFont(dc, font);
    if (alpha < 0) alpha = 0;
    if (alpha > 255) alpha = 255;
    Gdiplus::StringFormat format(0, LANG_NEUTRAL);
    format.SetAlignment(center ? Gdiplus::StringAlignmentCenter : Gdiplus::StringAlignmentNear);
    format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
    if (lineLimit) format.SetFormatFlags(Gdiplus::StringFormatFlagsLineLimit);
    Gdiplus::SolidBrush brush(Gdiplus::Color(static_cast<BYTE>(alpha), GetRValue(color),
                                             GetGValue(color), GetBValue(color)));
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
    if (w == 0 || h == 0) {
        g.DrawString(text, -1, &gdiFont,
                     Gdiplus::PointF(static_cast<float>(x), static_cast<float>(y)), &format,
                     &brush);
    } else {
        g.DrawString(text, -1, &gdiFont,
                     Gdiplus::RectF(static_cast<float>(x), static_cast<float>(y),
                                    static_cast<float>(w), static_cast<float>(h)),
                     &format, &brush);
    }
}
