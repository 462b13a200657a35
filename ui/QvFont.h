#pragma once
// The toolkit's font cache: one GDI font per (face, size, bold, underline,
// italic), created on first request and kept until the cache is destroyed,
// so controls may ask for their font on every paint.
#include <windows.h>

#include <string>
#include <vector>

#include "base/QvExport.h"

struct tagFontInfo {
    wchar_t face[50];
    int size;       // lfHeight: positive, the cell height
    int bold;       // non-zero: weight 700
    int underline;  // low byte used
    int italic;     // low byte used
    HFONT font;     // owned by the cache
};

class QV_API CQvFont {
public:
    // The process-wide cache every control takes its fonts from.
    static CQvFont& Instance();

    CQvFont();
    ~CQvFont();
    // The cache owns its handles; a copy would delete them a second time.
    CQvFont(const CQvFont&) = delete;
    CQvFont& operator=(const CQvFont&) = delete;

    // Size 0 and a null face pick the defaults. The handle belongs to the
    // cache: callers must not delete it.
    HFONT GetFont(int size, const wchar_t* face, int bold, int underline, int italic);
    int isSupportYaHei();
    int GetDefaultSize();
    // charset -1 keeps the stock GUI font's character set. Fonts already
    // handed out are not touched.
    void SetDefaultFont(int size, const wchar_t* face, int charset);
    // 1 only for "微软雅黑" when its font file is installed.
    int CheckFont(const wchar_t* face);

private:
    HFONT GetFont(tagFontInfo& info);
    HFONT CreateNewFont(tagFontInfo& info);

    std::wstring defaultFace_;
    int yaHei_ = 0;
    std::vector<tagFontInfo> fonts_;
    int defaultSize_ = 12;
    int charset_ = -1;
};
