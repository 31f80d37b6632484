#pragma once
// The top-level windows of one process: counted by kind, message boxes read and closed.

#include <windows.h>

#include <string>
#include <vector>

namespace probe {

struct WindowCensus {
    int total = 0;
    int utility = 0;                   // hidden notification windows of the components
    int visible = 0;                   // shown windows other than message boxes
    std::vector<std::string> boxTexts; // the text of each open message box
};

WindowCensus TakeWindowCensus(DWORD processId);

// Presses OK in every open message box of the process; returns how many there were.
int DismissMessageBoxes(DWORD processId);

// Posts WM_CLOSE to the window of `className`; false when the process has none.
bool PostCloseTo(DWORD processId, const char* className);

// Sends a message that does nothing to the window of `className` and waits until the
// process's GUI thread has handled it; false when it has no such window or did not
// answer within `timeoutMs`.
bool PingWindowOf(DWORD processId, const char* className, UINT timeoutMs);

} // namespace probe
