#include "control.h"

#include "form.h"

namespace winapp {

TGraphicControl::~TGraphicControl() {
    SetParent(nullptr);
}

void TGraphicControl::SetParent(TForm* parent) {
    if (parent == FParent)
        return;
    if (FParent != nullptr) {
        Invalidate();
        FParent->RemoveControl(this);
    }
    FParent = parent;
    if (FParent != nullptr) {
        FParent->InsertControl(this);
        ParentChanged();
        Invalidate();
    }
}

void TGraphicControl::SetBounds(int left, int top, int width, int height) {
    Invalidate();
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    Invalidate();
}

void TGraphicControl::Invalidate() const {
    if (FParent == nullptr || FParent->Handle() == nullptr)
        return;
    const RECT bounds = BoundsRect();
    InvalidateRect(FParent->Handle(), &bounds, TRUE);
}

} // namespace winapp
