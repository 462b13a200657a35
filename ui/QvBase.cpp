#include "ui/QvBase.h"

#include "ui/QvFont.h"

CQvBase::CQvBase() : font(CQvFont::Instance().GetFont(0, nullptr, 0, 0, 0)) {}
CQvBase::~CQvBase() = default;

void CQvBase::Show(bool show) {
    visible = show;
}

void CQvBase::DrawAt(HDC, int, int) {}

bool CQvBase::OnMouse(int, int, int, void*) {
    return false;
}
