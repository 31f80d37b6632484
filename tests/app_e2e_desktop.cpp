#include "app_e2e_desktop.h"

#include <algorithm>
#include <functional>

namespace e2e {

namespace {

constexpr char kStandaloneTrayClass[] = "__winex11_standalone_tray";
constexpr char kTrayIconClass[] = "__winex11_tray_icon";

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return done();
        Sleep(20);
    }
    return true;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

DWORD ProcessOf(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

void SendMouse(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

} // namespace

bool WaitForVisibility(HWND window, bool visible, DWORD timeoutMs) {
    return WaitFor([&] { return (IsWindowVisible(window) != FALSE) == visible; }, timeoutMs);
}

bool HasStandaloneTray() {
    return FindWindowA(kStandaloneTrayClass, nullptr) != nullptr;
}

std::vector<HWND> TrayIconWindows() {
    std::vector<HWND> icons;
    HWND tray = FindWindowA(kStandaloneTrayClass, nullptr);
    if (tray == nullptr)
        return icons;
    for (HWND child : ChildWindows(tray))
        if (ClassOf(child) == kTrayIconClass && IsWindowVisible(child))
            icons.push_back(child);
    return icons;
}

HWND WaitForNewTrayIcon(const std::vector<HWND>& before, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND icon : TrayIconWindows())
                if (std::find(before.begin(), before.end(), icon) == before.end())
                    found = icon;
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

std::string TipOfTrayIcon(HWND icon) {
    const DWORD shell = ProcessOf(icon);
    // Away first, so that arriving over the icon is a fresh hover.
    MoveMouseTo(POINT{600, 600});
    Sleep(100);
    MoveMouseTo(CentreOf(icon));
    std::string tip;
    WaitFor(
        [&] {
            for (HWND window : TopLevelWindows())
                if (ProcessOf(window) == shell && ClassOf(window) == "tooltips_class32" &&
                    IsWindowVisible(window))
                    tip = WindowText(window);
            return !tip.empty();
        },
        5000);
    MoveMouseTo(POINT{600, 600});
    return tip;
}

void MoveMouseTo(POINT point) {
    SetCursorPos(point.x, point.y);
    // A small real move as well: the window under the cursor then hears of it.
    SendMouse(MOUSEEVENTF_MOVE);
}

void ClickAt(POINT point, bool rightButton) {
    MoveMouseTo(point);
    Sleep(150);
    SendMouse(rightButton ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    Sleep(30);
    SendMouse(rightButton ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
}

void DoubleClickAt(POINT point) {
    MoveMouseTo(point);
    Sleep(150);
    for (int i = 0; i < 2; ++i) {
        SendMouse(MOUSEEVENTF_LEFTDOWN);
        SendMouse(MOUSEEVENTF_LEFTUP);
    }
}

POINT CentreOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

HWND WaitForMenu(DWORD processId, DWORD timeoutMs) {
    HWND menu = nullptr;
    WaitFor(
        [&] {
            menu = FindProcessWindow(processId, "#32768", true);
            return menu != nullptr;
        },
        timeoutMs);
    return menu;
}

bool ChooseOnlyTrayMenuItem(HWND icon, DWORD processId) {
    ClickAt(CentreOf(icon), true);
    HWND menu = WaitForMenu(processId, 10000);
    if (menu == nullptr)
        return false;
    // The menu of another process cannot be read from here, but with one item the
    // item fills the menu window. Hover first, as a person does, then click.
    const POINT centre = CentreOf(menu);
    MoveMouseTo(centre);
    Sleep(200);
    ClickAt(centre);
    return true;
}

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs) {
    HWND box = nullptr;
    WaitFor(
        [&] {
            box = FindProcessWindow(processId, "#32770", true);
            return box != nullptr;
        },
        timeoutMs);
    return box;
}

std::string WindowText(HWND window) {
    char text[512] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 1000, &copied);
    return text;
}

std::string MessageBoxText(HWND box) {
    for (HWND child : ChildWindows(box)) {
        if (ClassOf(child) != "Static")
            continue;
        const std::string text = WindowText(child);
        if (!text.empty())
            return text;
    }
    return {};
}

bool PressOk(HWND box) {
    HWND ok = GetDlgItem(box, IDOK);
    if (ok == nullptr)
        return false;
    // Posted: closing the box goes on to show the strip before a sent click would return.
    return PostMessageA(ok, BM_CLICK, 0, 0) != FALSE;
}

} // namespace e2e
