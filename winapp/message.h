#pragma once

#include <windows.h>

namespace winapp {

// The window-message record handed to a component's window procedure.
// Result starts at 0 and is what the window returns to the system.
struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

} // namespace winapp
