#include "trayicon_probe.h"

namespace testsupport {

namespace {

constexpr UINT kMnGetHMenu = 0x01E1; // asks a menu window for its menu
constexpr UINT kProbeIntervalMs = 50;
constexpr int kProbeTries = 100;

TOpenMenu* gSeen = nullptr;
std::function<void(HWND)> gAct;
int gTriesLeft = 0;
UINT_PTR gTimer = 0;

BOOL CALLBACK FindMenuWindow(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (process == GetCurrentProcessId() && lstrcmpA(name, "#32768") == 0 &&
        IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    return TRUE;
}

void Record(HWND menuWindow) {
    gSeen->Seen = true;
    GetWindowRect(menuWindow, &gSeen->Rect);
    auto menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, kMnGetHMenu, 0, 0));
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char caption[128] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), caption, sizeof caption, MF_BYPOSITION);
        gSeen->Captions.push_back(caption);
    }
    const UINT defaultItem = GetMenuDefaultItem(menu, TRUE, 0);
    gSeen->DefaultIndex = defaultItem == static_cast<UINT>(-1) ? -1 : static_cast<int>(defaultItem);
}

VOID CALLBACK Probe(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND menuWindow = nullptr;
    EnumWindows(FindMenuWindow, reinterpret_cast<LPARAM>(&menuWindow));
    if (menuWindow == nullptr && --gTriesLeft > 0)
        return;
    KillTimer(nullptr, timer);
    gTimer = 0;
    if (menuWindow == nullptr) {
        EndMenu();
        return;
    }
    Record(menuWindow);
    if (gAct)
        gAct(menuWindow);
    else
        EndMenu();
}

} // namespace

void ProbeNextMenu(TOpenMenu& seen, std::function<void(HWND menuWindow)> act) {
    gSeen = &seen;
    gAct = std::move(act);
    gTriesLeft = kProbeTries;
    StopMenuProbe();
    gTimer = SetTimer(nullptr, 0, kProbeIntervalMs, Probe);
}

void StopMenuProbe() {
    if (gTimer != 0)
        KillTimer(nullptr, gTimer);
    gTimer = 0;
}

void ChooseMenuItem(HWND menuWindow, int index) {
    for (int i = 0; i <= index; ++i)
        PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
}

} // namespace testsupport
