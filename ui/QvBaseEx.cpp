#include "ui/QvBaseEx.h"

#include "ui/QvControlImage.h"

CQvBaseEx::CQvBaseEx() = default;
CQvBaseEx::~CQvBaseEx() = default;

bool CQvBaseEx::DrawStateImage(HDC dc, int px, int py, int w, int h, int resourceEdgeV) {
    if (!visible || !dc) return false;
    if (stateImages > 1 && state >= stateImages) state = stateImages - 1;
    const QvImageChoice choice{imageSource,     stateImages,       imageId,
                               frames,          state,             splitH,
                               resType.c_str(), imagePath.c_str(), imageBase.c_str(),
                               imageExt.c_str()};
    return QvDrawControlImage(dc, choice, px, py, w, h, resourceEdgeV);
}
