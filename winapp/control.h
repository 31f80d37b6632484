#pragma once
// A control without a window of its own: it occupies a rectangle of its parent form and
// is drawn by the form.

#include <windows.h>

#include "component.h"

namespace winapp {

class TForm;

class TGraphicControl : public TComponent {
  public:
    explicit TGraphicControl(TComponent* owner) : TComponent(owner) {}
    // Leaves the parent, so that the form never draws a control that is gone.
    ~TGraphicControl() override;

    TForm* Parent() const { return FParent; }
    void SetParent(TForm* parent);

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetBounds(int left, int top, int width, int height);
    RECT BoundsRect() const { return RECT{FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }

    // Draws the control onto the parent's device context, in the parent's coordinates.
    virtual void Paint(HDC dc) = 0;

  protected:
    // Asks the parent to draw the control's rectangle again.
    void Invalidate() const;
    // Called when the control gets a parent, whose font or colour it may take.
    virtual void ParentChanged() {}

  private:
    TForm* FParent = nullptr;
    int FLeft = 0;
    int FTop = 0;
    int FWidth = 0;
    int FHeight = 0;
};

} // namespace winapp
