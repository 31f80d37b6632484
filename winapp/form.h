#pragma once
// A form: a top-level window owned by the application's window, with create and close
// handlers, drawn in its colour with the graphic controls placed on it.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "component.h"
#include "graphics.h"

namespace winapp {

class TGraphicControl;

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
// bsNone: a plain pop-up window without border, caption bar or system menu.
enum class TFormBorderStyle { bsNone, bsSizeable };
enum class TFormStyle { fsNormal, fsStayOnTop };
// poScreenCenter: centred on the primary screen when first shown.
enum class TPosition { poDesigned, poScreenCenter };
enum class TWindowState { wsNormal, wsMaximized };

class TForm : public TComponent {
  public:
    using TNotifyEvent = std::function<void(TObject* sender)>;
    using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;

    // The form starts out loading: the constructor of a derived form sets its properties
    // and creates its components, and AfterConstruction ends the loading.
    explicit TForm(TComponent* owner);
    // The window goes first, then the controls placed on the form; the rest of what the
    // form owns follows in reverse order of creation.
    ~TForm() override;

    HWND Handle() const { return FHandle; }
    void HandleNeeded();

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& caption);
    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle style);
    TFormStyle FormStyle() const { return FFormStyle; }
    void SetFormStyle(TFormStyle style);
    TPosition Position() const { return FPosition; }
    void SetPosition(TPosition position) { FPosition = position; }
    TWindowState WindowState() const { return FWindowState; }
    void SetWindowState(TWindowState state);

    // The position of the window and the size of its client area, for the normal state.
    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    void SetLeft(int left);
    void SetTop(int top);
    int ClientWidth() const { return FClientWidth; }
    int ClientHeight() const { return FClientHeight; }
    void SetClientWidth(int width);
    void SetClientHeight(int height);

    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    const TFont& Font() const { return FFont; }
    void SetFont(const TFont& font);

    // While loading, Visible is only recorded; a form recorded visible shows itself once
    // its create handler has run.
    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);

    // Asks the form to close: OnClose may change the hide action; closing the main
    // form terminates the application.
    void Close();

    TNotifyEvent OnCreate;
    TCloseEvent OnClose;

    // Runs once the form and everything it owns are constructed: ends the loading, runs
    // the create handler, whose exception is shown by the exception display and does
    // not stop the creation, and shows the form if it was recorded visible.
    virtual void AfterConstruction();

    const std::vector<TGraphicControl*>& Controls() const { return FControls; }

  private:
    friend class TGraphicControl;
    void InsertControl(TGraphicControl* control) { FControls.push_back(control); }
    void RemoveControl(TGraphicControl* control);

    DWORD WindowStyle() const;
    DWORD WindowExStyle() const;
    SIZE WindowSize() const;
    void UpdateBounds();
    void CenterOnScreen();
    void PaintControls();
    void EraseBackground(HDC dc) const;
    static LRESULT CALLBACK WndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND FHandle = nullptr;
    bool FLoading = true;
    bool FVisibleWhenLoaded = false;
    bool FVisible = false;
    bool FShownBefore = false;
    std::string FCaption;
    TFormBorderStyle FBorderStyle = TFormBorderStyle::bsSizeable;
    TFormStyle FFormStyle = TFormStyle::fsNormal;
    TPosition FPosition = TPosition::poDesigned;
    TWindowState FWindowState = TWindowState::wsNormal;
    int FLeft = 0;
    int FTop = 0;
    int FClientWidth = 0;
    int FClientHeight = 0;
    TColor FColor = clBtnFace;
    TFont FFont;
    std::vector<TGraphicControl*> FControls;
};

} // namespace winapp
