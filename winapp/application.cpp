#include "application.h"

#include <algorithm>

#include "form.h"
#include "full_stop.h"

namespace winapp {

TApplication* Application = nullptr;

namespace {

constexpr char kApplicationWindowClass[] = "TApplication";

HICON LoadApplicationIcon() {
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
    return icon != nullptr ? icon
                           : LoadIconA(nullptr, MAKEINTRESOURCEA(32512) /* IDI_APPLICATION */);
}

std::string ModuleBaseName() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string name(path);
    const size_t cut = name.find_last_of("\\:");
    if (cut != std::string::npos)
        name.erase(0, cut + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

} // namespace

TApplication::TApplication()
    : TComponent(nullptr), FTitle(ModuleBaseName()), FIcon(LoadApplicationIcon()) {
    Application = this;
    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = FIcon;
    wc.lpszClassName = kApplicationWindowClass;
    RegisterClassA(&wc);
    // Zero size and never drawn: it exists to carry the task-bar button and to own the
    // forms and message boxes.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
    FHandle = CreateWindowExA(0, kApplicationWindowClass, FTitle.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              x, y, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

TApplication::~TApplication() {
    // Forms and their components go first, while the window that owns them still exists.
    Destroying();
    while (!Components().empty())
        Free(Components().back());
    FMainForm = nullptr;
    DestroyWindow(FHandle);
    if (Application == this)
        Application = nullptr;
}

void TApplication::SetTitle(const std::string& title) {
    FTitle = title;
    SetWindowTextA(FHandle, FTitle.c_str());
}

void TApplication::FinishFormCreation(TForm* form) {
    form->AfterConstruction();
    if (FMainForm == nullptr) {
        form->HandleNeeded();
        FMainForm = form;
    }
}

void TApplication::Run() {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const bool maximized =
        (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 && startup.wShowWindow == SW_SHOWMAXIMIZED;
    if (FMainForm != nullptr && maximized)
        FMainForm->SetWindowState(TWindowState::wsMaximized);
    if (FMainForm != nullptr && FShowMainForm)
        FMainForm->SetVisible(true);
    while (!FTerminated) {
        if (!ProcessMessage())
            WaitMessage();
    }
}

void TApplication::Terminate() {
    PostQuitMessage(0);
}

void TApplication::ProcessMessages() {
    while (ProcessMessage()) {
    }
}

bool TApplication::ProcessMessage() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    if (msg.message == WM_QUIT) {
        FTerminated = true;
        return true;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

void TApplication::HandleException(TObject* sender) {
    try {
        throw;
    } catch (const Exception& e) {
        if (OnException)
            OnException(sender, e);
        else
            ShowException(e);
    } catch (const std::exception& e) {
        const Exception wrapped(e.what());
        if (OnException)
            OnException(sender, wrapped);
        else
            ShowException(wrapped);
    }
}

void TApplication::ShowException(const Exception& e) {
    MessageBoxA(FHandle, WithFullStop(e.Message()).c_str(), FTitle.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::FormVisibilityChanged() {
    const auto& owned = Components();
    const bool anyVisible = std::any_of(owned.begin(), owned.end(), [](TComponent* component) {
        const auto* form = dynamic_cast<TForm*>(component);
        return form != nullptr && form->Visible();
    });
    // Zero size and never activated: only its task-bar button is seen.
    ShowWindow(FHandle, anyVisible ? SW_SHOWNOACTIVATE : SW_HIDE);
}

LRESULT CALLBACK TApplication::WndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    TApplication* app = Application;
    if (app != nullptr && window == app->FHandle) {
        switch (msg) {
        case WM_CLOSE:
            // The Close command of the task-bar button goes to the main form.
            if (app->FMainForm != nullptr) {
                try {
                    app->FMainForm->Close();
                } catch (...) {
                    app->HandleException(app);
                }
            }
            return 0;
        case WM_QUERYENDSESSION:
            return 1;
        case WM_ENDSESSION:
            // The session really ends: the loop stops the next time it gets control and
            // the teardown runs, without the main form's close handler.
            if (wParam != 0)
                app->FTerminated = true;
            return 0;
        default:
            break;
        }
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

} // namespace winapp
