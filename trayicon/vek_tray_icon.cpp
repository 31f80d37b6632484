#include "vek_tray_icon.h"

#include <shellapi.h>

#include <cstring>

#include "application.h"

namespace trayicon {

namespace {

constexpr UINT kIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

// The record is our own definition of the shell's first layout; the shell reads it
// by its size.
BOOL NotifyIcon(DWORD message, TNotifyIconDataV1& data) {
    return Shell_NotifyIconA(message, reinterpret_cast<NOTIFYICONDATAA*>(&data));
}

} // namespace

TVekTray::TShellIcon::TShellIcon(TNotifyIconDataV1& data) : FData(data) {
    // A refused icon is not reported: the component carries on without one.
    NotifyIcon(NIM_ADD, FData);
}

TVekTray::TShellIcon::~TShellIcon() {
    NotifyIcon(NIM_DELETE, FData);
}

TVekTray::TVekTray(winapp::TComponent* owner) : TComponent(owner), FVersion("1.00") {
    // A component placed on a form in a designer is in design state from the start.
    if (owner != nullptr && owner->IsDesigning())
        SetDesigning(true);
    if (IsDesigning())
        return;
    FNotifyWindow = std::make_unique<winapp::TUtilWindow>(
        [this](winapp::TMessage& message) { NotifyWndProc(message); });
    winapp::Application->SetShowMainForm(false);

    FIconData.cbSize = sizeof FIconData;
    FIconData.hWnd = FNotifyWindow->Handle();
    FIconData.uID = kTrayIconId;
    FIconData.uFlags = kIconFlags;
    FIconData.hIcon = winapp::Application->IconHandle();
    FIconData.uCallbackMessage = WM_TRAYNOTIFY;
    // Properties of a stored description are applied after construction, so a
    // component on a form always shows the application title.
    if (FHint.empty())
        FHint = winapp::Application->Title();
    strncpy(FIconData.szTip, FHint.c_str(), sizeof FIconData.szTip - 1);
    FShellIcon = std::make_unique<TShellIcon>(FIconData);
}

TVekTray::~TVekTray() {
    // The icon goes before the window that the shell reports its mouse events to.
    FShellIcon.reset();
    FNotifyWindow.reset();
}

void TVekTray::NotifyWndProc(winapp::TMessage& message) {
    if (message.Msg == WM_TRAYNOTIFY) {
        WMTrayNotify(message);
        return;
    }
    message.Result =
        DefWindowProcA(FNotifyWindow->Handle(), message.Msg, message.WParam, message.LParam);
}

void TVekTray::WMTrayNotify(winapp::TMessage& message) {
    switch (message.LParam) {
    case WM_LBUTTONDBLCLK:
        RunDefaultItem();
        if (OnDblClick)
            OnDblClick(this);
        break;
    case WM_RBUTTONUP: {
        // The menu closes properly when the user clicks elsewhere only if its window
        // is in the foreground.
        SetForegroundWindow(FNotifyWindow->Handle());
        POINT cursor{0, 0};
        GetCursorPos(&cursor);
        if (FPopupMenu != nullptr)
            FPopupMenu->Popup(cursor.x, cursor.y);
        break;
    }
    default:
        break;
    }
}

void TVekTray::RunDefaultItem() {
    if (FPopupMenu == nullptr)
        return;
    const winapp::TMenuItem& items = FPopupMenu->Items();
    for (int i = 0; i < items.Count(); ++i) {
        if (items.Items(i)->Default()) {
            items.Items(i)->Click();
            return;
        }
    }
}

} // namespace trayicon
