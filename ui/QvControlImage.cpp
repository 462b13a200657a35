#include "ui/QvControlImage.h"

#include <shlwapi.h>

#include <cwchar>

#include "ui/QvBase.h"
#include "ui/QvImage.h"
#include "ui/QvSkin.h"

namespace {

bool DrawFromResource(HDC dc, const QvImageChoice& c, int x, int y, int w, int h, int edgeV) {
    int id = c.stateImages > 1 ? c.imageId + c.state : c.imageId;
    return CQvImage::Instance().DrawStretchImg(dc, id, c.resType, x, y, w, h, c.splitH,
                                               c.frames, c.state, edgeV);
}

}  // namespace

bool QvDrawControlImage(HDC dc, const QvImageChoice& c, int x, int y, int w, int h,
                        int resourceEdgeV) {
    CQvImage& image = CQvImage::Instance();
    if (c.imageSource == QV_IMAGE_FROM_FILE) {
        if (::PathFileExistsW(c.imagePath))
            return image.DrawStretchImg(dc, c.imagePath, x, y, w, h, c.splitH, c.frames,
                                        c.state, 0);
        return DrawFromResource(dc, c, x, y, w, h, 0);
    }
    CQvSkin& skin = CQvSkin::Instance();
    switch (skin.GetResType()) {
    case 1: {
        wchar_t folder[MAX_PATH] = {};
        skin.GetThemesPath(folder);
        wchar_t file[MAX_PATH] = {};
        std::swprintf(file, MAX_PATH, L"%ls%ls_%d%ls", folder, c.imageBase, c.state,
                      c.imageExt);
        if (::PathFileExistsW(file))
            return image.DrawStretchImg(dc, file, x, y, w, h, c.splitH, c.frames, c.state, 0);
        return DrawFromResource(dc, c, x, y, w, h, 0);
    }
    case 2: {
        IStream* stream = nullptr;  // owned by the skin's cache
        if (skin.GetRes(c.imageBase, stream))
            return image.DrawStretchImg(dc, stream, x, y, w, h, c.splitH, c.frames, c.state,
                                        0);
        return DrawFromResource(dc, c, x, y, w, h, 0);
    }
    default:
        return DrawFromResource(dc, c, x, y, w, h, resourceEdgeV);
    }
}
