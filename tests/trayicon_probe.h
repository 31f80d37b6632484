#pragma once
// Looking at a pop-up menu while it is open: a timer that fires inside the menu's own
// loop finds the menu's window, records what it shows and then acts on it.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct TOpenMenu {
    bool Seen = false;
    RECT Rect{0, 0, 0, 0};
    std::vector<std::string> Captions;
    int DefaultIndex = -1; // -1: no default item
};

// Arms the probe for the next menu that opens in this thread. `act` runs with the
// menu's window once it is seen; without one the menu is closed.
void ProbeNextMenu(TOpenMenu& seen, std::function<void(HWND menuWindow)> act = nullptr);

// Disarms a probe that saw no menu.
void StopMenuProbe();

// Chooses the item at `index` with the keyboard, as a user would.
void ChooseMenuItem(HWND menuWindow, int index);

} // namespace testsupport
