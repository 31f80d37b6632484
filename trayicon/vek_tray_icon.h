#pragma once
// One notification-area icon with the application title as its tip, a right-click menu
// and a double-click action.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "component.h"
#include "menu.h"
#include "message.h"
#include "notify_icon_data.h"
#include "util_window.h"

namespace trayicon {

// The message through which the shell reports mouse events over the icon.
constexpr UINT WM_TRAYNOTIFY = WM_USER + 1;
constexpr UINT kTrayIconId = 57051;

class TVekTray : public winapp::TComponent {
  public:
    using TNotifyEvent = std::function<void(winapp::TObject* sender)>;

    // At run time, adds the icon at once and switches the application's own showing of
    // the main form off. On a form in a designer it only holds its properties.
    explicit TVekTray(winapp::TComponent* owner);
    ~TVekTray() override;

    // Read once, by the constructor; a later text is stored and changes nothing on screen.
    const std::string& Hint() const { return FHint; }
    void SetHint(const std::string& hint) { FHint = hint; }
    // Not owned and read afresh at every mouse event: it must outlive the icon's mouse
    // events, or be cleared first.
    winapp::TPopupMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(winapp::TPopupMenu* menu) { FPopupMenu = menu; }
    // Always "1.00"; what is written is ignored.
    const std::string& Version() const { return FVersion; }
    void SetVersion(const std::string&) {}
    TNotifyEvent OnDblClick;

    // The hidden window the shell reports to; null in design state.
    HWND NotifyWindow() const { return FNotifyWindow ? FNotifyWindow->Handle() : nullptr; }
    const TNotifyIconDataV1& IconData() const { return FIconData; }

  private:
    // Adds the icon on construction and removes it on destruction.
    class TShellIcon {
      public:
        explicit TShellIcon(TNotifyIconDataV1& data);
        ~TShellIcon();
        TShellIcon(const TShellIcon&) = delete;
        TShellIcon& operator=(const TShellIcon&) = delete;

      private:
        TNotifyIconDataV1& FData;
    };

    void NotifyWndProc(winapp::TMessage& message);
    void WMTrayNotify(winapp::TMessage& message);
    void RunDefaultItem();

    std::string FVersion;
    std::string FHint;
    std::unique_ptr<winapp::TUtilWindow> FNotifyWindow;
    TNotifyIconDataV1 FIconData{};
    winapp::TPopupMenu* FPopupMenu = nullptr;
    std::unique_ptr<TShellIcon> FShellIcon;
};

} // namespace trayicon
