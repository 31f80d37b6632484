#pragma once
// What a person sees and does on the desktop: windows of a process, the notification
// area, pop-up menus, message boxes and real mouse input.

#include <windows.h>

#include <string>
#include <vector>

#include "process.h"

namespace e2e {

using testsupport::FindProcessWindow;

// Waits until `window` is (or is no longer) visible; true when it came about in time.
bool WaitForVisibility(HWND window, bool visible, DWORD timeoutMs);

// Wine shows notification-area icons in a window of its own when the X display has no
// tray of its own; each icon is a child window there.
bool HasStandaloneTray();
std::vector<HWND> TrayIconWindows();
// The icon that appears beside `before` within the time, or null.
HWND WaitForNewTrayIcon(const std::vector<HWND>& before, DWORD timeoutMs);
// Hovers over the icon and reads the tip the shell shows for it; empty if none shows.
std::string TipOfTrayIcon(HWND icon);

// Mouse input through the system's input queue, as from a real mouse.
void MoveMouseTo(POINT point);
void ClickAt(POINT point, bool rightButton = false);
void DoubleClickAt(POINT point);
POINT CentreOf(HWND window);

// A pop-up menu window of the process that is on screen, within the time, or null.
HWND WaitForMenu(DWORD processId, DWORD timeoutMs);
// Right-clicks the tray icon and chooses the item of a one-item menu with the mouse.
bool ChooseOnlyTrayMenuItem(HWND icon, DWORD processId);

// A message box of the process: its caption, its text, and its OK button.
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs);
std::string WindowText(HWND window);
std::string MessageBoxText(HWND box);
bool PressOk(HWND box);

} // namespace e2e
