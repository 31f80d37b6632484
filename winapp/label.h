#pragma once
// A text on a form.

#include <string>

#include "control.h"
#include "graphics.h"

namespace winapp {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

class TLabel : public TGraphicControl {
  public:
    explicit TLabel(TComponent* owner) : TGraphicControl(owner) {}

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& caption);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment alignment);
    // While on, the bounds follow the caption's extent in the label's font.
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool autoSize);

    // The parent's font until the label is given one of its own.
    bool ParentFont() const { return FParentFont; }
    const TFont& Font() const;
    void SetFont(const TFont& font);

    // The background is the parent's colour; the caption is drawn over it.
    void Paint(HDC dc) override;

  protected:
    void ParentChanged() override { AdjustSize(); }

  private:
    void AdjustSize();

    std::string FCaption;
    TAlignment FAlignment = TAlignment::taLeftJustify;
    bool FAutoSize = true;
    bool FParentFont = true;
    TFont FFont;
};

} // namespace winapp
