#include "process_windows.h"

namespace probe {

namespace {

constexpr char kMessageBoxClass[] = "#32770";
constexpr char kUtilityWindowClass[] = "TPUtilWindow";
// The control id that message boxes give their text.
constexpr int kMessageBoxTextId = 0xFFFF;

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindowOfProcess(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId)
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> WindowsOf(DWORD processId) {
    WindowSearch search{processId, {}};
    EnumWindows(CollectWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string BoxText(HWND box) {
    char text[512] = {};
    GetDlgItemTextA(box, kMessageBoxTextId, text, sizeof text);
    return text;
}

} // namespace

WindowCensus TakeWindowCensus(DWORD processId) {
    WindowCensus census;
    for (HWND window : WindowsOf(processId)) {
        ++census.total;
        const std::string name = ClassOf(window);
        if (name == kUtilityWindowClass)
            ++census.utility;
        else if (name == kMessageBoxClass)
            census.boxTexts.push_back(BoxText(window));
        else if (IsWindowVisible(window))
            ++census.visible;
    }
    return census;
}

int DismissMessageBoxes(DWORD processId) {
    int dismissed = 0;
    for (HWND window : WindowsOf(processId)) {
        if (ClassOf(window) != kMessageBoxClass)
            continue;
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
        ++dismissed;
    }
    return dismissed;
}

HWND WindowOfClass(DWORD processId, const char* className) {
    for (HWND window : WindowsOf(processId))
        if (ClassOf(window) == className)
            return window;
    return nullptr;
}

bool PostCloseTo(DWORD processId, const char* className) {
    HWND window = WindowOfClass(processId, className);
    return window != nullptr && PostMessageA(window, WM_CLOSE, 0, 0) != FALSE;
}

bool PingWindowOf(DWORD processId, const char* className, UINT timeoutMs) {
    HWND window = WindowOfClass(processId, className);
    DWORD_PTR result = 0;
    return window != nullptr &&
           SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

} // namespace probe
