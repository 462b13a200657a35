#pragma once
// GDI+ on a DC that may carry the dialog's DPI transform: the Graphics is
// made while the DC draws in device pixels and is given the transform
// itself, so that GDI+ applies it exactly once on every system.
#include <windows.h>
#include <gdiplus.h>

#include "ui/QvDpi.h"

inline void QvMatchTransform(Gdiplus::Graphics& g, const QvDeviceSpace& space) {
    if (!space.scaled()) return;
    const XFORM& t = space.transform;
    Gdiplus::Matrix m(t.eM11, t.eM12, t.eM21, t.eM22, t.eDx, t.eDy);
    g.SetTransform(&m);
}
