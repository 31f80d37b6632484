#pragma once
// Waiting for something that the message loop brings about.

#include <windows.h>

#include <functional>

#include "application.h"

namespace testsupport {

// Handles window messages until `done` holds or `timeoutMs` has passed; returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return done();
        winapp::Application->ProcessMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// Handles window messages for `ms` milliseconds, for checks that something does not happen.
inline void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

} // namespace testsupport
