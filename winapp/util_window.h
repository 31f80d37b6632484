#pragma once
// Hidden notification windows whose messages reach a member function.

#include <windows.h>

#include <functional>

#include "message.h"

namespace winapp {

using TWndMethod = std::function<void(TMessage&)>;

// A hidden, zero-size pop-up tool window of class "TPUtilWindow", never shown and
// without owner, whose every message is handed to `method`.
HWND AllocateHWnd(TWndMethod method);
void DeallocateHWnd(HWND window);

// Owns one such window: the pair of calls as one object.
class TUtilWindow {
public:
    explicit TUtilWindow(TWndMethod method) : FHandle(AllocateHWnd(std::move(method))) {}
    ~TUtilWindow() { DeallocateHWnd(FHandle); }
    TUtilWindow(const TUtilWindow&) = delete;
    TUtilWindow& operator=(const TUtilWindow&) = delete;

    HWND Handle() const { return FHandle; }

private:
    HWND FHandle;
};

} // namespace winapp
