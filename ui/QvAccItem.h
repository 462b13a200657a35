#pragma once
// A control that draws nothing and takes no input: it gives screen readers
// what a dialog draws itself (a question, a progress animation) or what is
// part of its background image. The dialog can still be dragged by it.
#include <oleacc.h>

#include <string>

#include "ui/QvBase.h"

class CQvAccItem : public CQvBase {
public:
    CQvAccItem(std::wstring name, long role, int x, int y, int width, int height) {
        accName = std::move(name);
        accRole = role;
        passDrag = true;
        this->x = x;
        this->y = y;
        this->width = width;
        this->height = height;
    }
    void Paint(HDC) override {}
    // For a progress bar: what it shows, e.g. "40%".
    std::wstring AccessibleValue() const override { return value; }
    long AccessibleState() const override {
        return accRole == ROLE_SYSTEM_PROGRESSBAR ? STATE_SYSTEM_READONLY : CQvBase::AccessibleState();
    }

    std::wstring value;
};
