#include "form.h"

#include "application.h"

namespace winapp {

namespace {
constexpr char kFormWindowClass[] = "TForm";
}

TForm::TForm(TComponent* owner) : TComponent(owner) {}

TForm::~TForm() {
    if (FHandle != nullptr) {
        SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
        DestroyWindow(FHandle);
    }
}

void TForm::HandleNeeded() {
    if (FHandle != nullptr)
        return;
    static const bool registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = WndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = kFormWindowClass;
        return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    HWND owner = Application != nullptr ? Application->Handle() : nullptr;
    FHandle = CreateWindowExA(0, kFormWindowClass, "", WS_POPUP, 0, 0, 0, 0, owner, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TForm::SetVisible(bool visible) {
    FVisible = visible;
    if (visible)
        HandleNeeded();
    if (FHandle != nullptr)
        ShowWindow(FHandle, visible ? SW_SHOWNORMAL : SW_HIDE);
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
    if (!OnCreate)
        return;
    try {
        OnCreate(this);
    } catch (...) {
        if (Application != nullptr)
            Application->HandleException(this);
    }
}

LRESULT CALLBACK TForm::WndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (form != nullptr && msg == WM_CLOSE) {
        try {
            form->Close();
        } catch (...) {
            if (Application != nullptr)
                Application->HandleException(form);
        }
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

} // namespace winapp
