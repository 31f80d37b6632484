#include "util_window.h"

#include "application.h"

namespace winapp {
namespace {

constexpr char kUtilWindowClass[] = "TPUtilWindow";

LRESULT CALLBACK UtilWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* method = reinterpret_cast<TWndMethod*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (method == nullptr)
        return DefWindowProcA(window, msg, wParam, lParam);
    TMessage message{msg, wParam, lParam, 0};
    // A C++ exception must not unwind through the system's dispatch frames, so one
    // that a method lets escape is shown here, as the message loop would show it.
    try {
        (*method)(message);
    } catch (...) {
        if (Application != nullptr)
            Application->HandleException(nullptr);
    }
    return message.Result;
}

void RegisterUtilWindowClass() {
    static const bool registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = UtilWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kUtilWindowClass;
        return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
}

} // namespace

HWND AllocateHWnd(TWndMethod method) {
    RegisterUtilWindowClass();
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, kUtilWindowClass, "", WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window != nullptr)
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(new TWndMethod(std::move(method))));
    return window;
}

void DeallocateHWnd(HWND window) {
    if (window == nullptr)
        return;
    auto* method = reinterpret_cast<TWndMethod*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    // Unbind first: DestroyWindow still sends messages, and they must not reach a
    // component that is going away.
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
    delete method;
}

} // namespace winapp
