#include "label.h"

#include "form.h"

namespace winapp {

namespace {

UINT AlignmentFlag(TAlignment alignment) {
    switch (alignment) {
    case TAlignment::taRightJustify:
        return DT_RIGHT;
    case TAlignment::taCenter:
        return DT_CENTER;
    case TAlignment::taLeftJustify:
        break;
    }
    return DT_LEFT;
}

} // namespace

void TLabel::SetCaption(const std::string& caption) {
    FCaption = caption;
    AdjustSize();
    Invalidate();
}

void TLabel::SetAlignment(TAlignment alignment) {
    FAlignment = alignment;
    Invalidate();
}

void TLabel::SetAutoSize(bool autoSize) {
    FAutoSize = autoSize;
    AdjustSize();
}

const TFont& TLabel::Font() const {
    return FParentFont && Parent() != nullptr ? Parent()->Font() : FFont;
}

void TLabel::SetFont(const TFont& font) {
    FFont = font;
    FParentFont = false;
    AdjustSize();
    Invalidate();
}

void TLabel::AdjustSize() {
    if (!FAutoSize)
        return;
    HDC screen = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(screen, Font().Handle());
    RECT extent{0, 0, 0, 0};
    DrawTextA(screen, FCaption.c_str(), -1, &extent, DT_CALCRECT | DT_EXPANDTABS);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    SetBounds(Left(), Top(), extent.right, extent.bottom);
}

void TLabel::Paint(HDC dc) {
    RECT bounds = BoundsRect();
    if (Parent() != nullptr) {
        const TGdiObject background(CreateSolidBrush(ColorToRGB(Parent()->Color())));
        FillRect(dc, &bounds, static_cast<HBRUSH>(background.Get()));
    }
    const HGDIOBJ previous = SelectObject(dc, Font().Handle());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ColorToRGB(Font().Color()));
    DrawTextA(dc, FCaption.c_str(), -1, &bounds, DT_EXPANDTABS | AlignmentFlag(FAlignment));
    SelectObject(dc, previous);
}

} // namespace winapp
