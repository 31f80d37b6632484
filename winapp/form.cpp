#include "form.h"

#include <algorithm>

#include "application.h"
#include "control.h"

namespace winapp {

namespace {

constexpr char kFormWindowClass[] = "TForm";

void RegisterFormClass(WNDPROC windowProc) {
    static const bool registered = [windowProc] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = windowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);
        wc.lpszClassName = kFormWindowClass;
        return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
}

} // namespace

TForm::TForm(TComponent* owner) : TComponent(owner) {}

TForm::~TForm() {
    Destroying();
    FVisible = false;
    if (FHandle != nullptr) {
        SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
        DestroyWindow(FHandle);
        FHandle = nullptr;
    }
    if (Application != nullptr)
        Application->FormVisibilityChanged();
    while (!FControls.empty())
        Free(FControls.back());
}

DWORD TForm::WindowStyle() const {
    if (FBorderStyle == TFormBorderStyle::bsNone)
        return WS_POPUP;
    return WS_OVERLAPPEDWINDOW;
}

DWORD TForm::WindowExStyle() const {
    return FFormStyle == TFormStyle::fsStayOnTop ? WS_EX_TOPMOST : 0;
}

SIZE TForm::WindowSize() const {
    RECT r{0, 0, FClientWidth, FClientHeight};
    AdjustWindowRectEx(&r, WindowStyle(), FALSE, WindowExStyle());
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void TForm::HandleNeeded() {
    if (FHandle != nullptr)
        return;
    RegisterFormClass(WndProc);
    // Owned by the application's window, so the form has no task-bar button of its own.
    HWND owner = Application != nullptr ? Application->Handle() : nullptr;
    const SIZE size = WindowSize();
    CreateWindowExA(WindowExStyle(), kFormWindowClass, FCaption.c_str(), WindowStyle(), FLeft, FTop,
                    size.cx, size.cy, owner, nullptr, GetModuleHandleA(nullptr), this);
}

void TForm::SetCaption(const std::string& caption) {
    FCaption = caption;
    if (FHandle != nullptr)
        SetWindowTextA(FHandle, FCaption.c_str());
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
    FBorderStyle = style;
    if (FHandle == nullptr)
        return;
    const LONG_PTR visible = GetWindowLongPtrA(FHandle, GWL_STYLE) & WS_VISIBLE;
    SetWindowLongPtrA(FHandle, GWL_STYLE, static_cast<LONG_PTR>(WindowStyle()) | visible);
    UpdateBounds();
}

void TForm::SetFormStyle(TFormStyle style) {
    FFormStyle = style;
    if (FHandle != nullptr)
        SetWindowPos(FHandle, style == TFormStyle::fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0,
                     0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TForm::SetWindowState(TWindowState state) {
    FWindowState = state;
    if (FHandle != nullptr && FVisible)
        ShowWindow(FHandle, state == TWindowState::wsMaximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
}

void TForm::SetLeft(int left) {
    FLeft = left;
    UpdateBounds();
}

void TForm::SetTop(int top) {
    FTop = top;
    UpdateBounds();
}

void TForm::SetClientWidth(int width) {
    FClientWidth = width;
    UpdateBounds();
}

void TForm::SetClientHeight(int height) {
    FClientHeight = height;
    UpdateBounds();
}

void TForm::UpdateBounds() {
    if (FHandle == nullptr || FWindowState != TWindowState::wsNormal)
        return;
    const SIZE size = WindowSize();
    SetWindowPos(FHandle, nullptr, FLeft, FTop, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TForm::SetColor(TColor color) {
    FColor = color;
    if (FHandle != nullptr)
        InvalidateRect(FHandle, nullptr, TRUE);
}

void TForm::SetFont(const TFont& font) {
    FFont = font;
    if (FHandle != nullptr)
        InvalidateRect(FHandle, nullptr, TRUE);
}

void TForm::CenterOnScreen() {
    const SIZE size = WindowSize();
    FLeft = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - static_cast<int>(size.cx)) / 2);
    FTop = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - static_cast<int>(size.cy)) / 2);
    UpdateBounds();
}

void TForm::SetVisible(bool visible) {
    if (FLoading) {
        FVisibleWhenLoaded = visible;
        return;
    }
    FVisible = visible;
    if (!visible) {
        if (FHandle != nullptr)
            ShowWindow(FHandle, SW_HIDE);
        if (Application != nullptr)
            Application->FormVisibilityChanged();
        return;
    }
    HandleNeeded();
    // The application's window carries the task-bar button and appears along with the form.
    if (Application != nullptr)
        Application->FormVisibilityChanged();
    if (!FShownBefore && FPosition == TPosition::poScreenCenter)
        CenterOnScreen();
    FShownBefore = true;
    ShowWindow(FHandle,
               FWindowState == TWindowState::wsMaximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
}

void TForm::Close() {
    TCloseAction action = TCloseAction::caHide;
    if (OnClose)
        OnClose(this, action);
    if (action == TCloseAction::caNone)
        return;
    if (Application != nullptr && Application->MainForm() == this)
        Application->Terminate();
    else if (action == TCloseAction::caHide)
        SetVisible(false);
}

void TForm::AfterConstruction() {
    FLoading = false;
    if (OnCreate) {
        try {
            OnCreate(this);
        } catch (...) {
            if (Application != nullptr)
                Application->HandleException(this);
        }
    }
    if (FVisibleWhenLoaded)
        SetVisible(true);
}

void TForm::RemoveControl(TGraphicControl* control) {
    const auto it = std::find(FControls.begin(), FControls.end(), control);
    if (it != FControls.end())
        FControls.erase(it);
}

void TForm::EraseBackground(HDC dc) const {
    RECT client;
    GetClientRect(FHandle, &client);
    const TGdiObject brush(CreateSolidBrush(ColorToRGB(FColor)));
    FillRect(dc, &client, static_cast<HBRUSH>(brush.Get()));
}

void TForm::PaintControls() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(FHandle, &paint);
    for (TGraphicControl* control : FControls) {
        const RECT bounds = control->BoundsRect();
        RECT overlap;
        if (IntersectRect(&overlap, &bounds, &paint.rcPaint))
            control->Paint(dc);
    }
    EndPaint(FHandle, &paint);
}

LRESULT CALLBACK TForm::WndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* creating =
            static_cast<TForm*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        creating->FHandle = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creating));
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (form == nullptr)
        return DefWindowProcA(window, msg, wParam, lParam);
    switch (msg) {
    case WM_CLOSE:
        try {
            form->Close();
        } catch (...) {
            if (Application != nullptr)
                Application->HandleException(form);
        }
        return 0;
    case WM_ERASEBKGND:
        form->EraseBackground(reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_PAINT:
        form->PaintControls();
        return 0;
    default:
        return DefWindowProcA(window, msg, wParam, lParam);
    }
}

} // namespace winapp
