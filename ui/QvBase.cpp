#include "ui/QvBase.h"

CQvBase::CQvBase() = default;
CQvBase::~CQvBase() = default;

void CQvBase::Show(bool show) {
    visible = show;
}

void CQvBase::DrawAt(HDC, int, int) {}

bool CQvBase::OnMouse(int, int, int, void*) {
    return false;
}
