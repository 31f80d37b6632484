#pragma once
// A timer whose ticks arrive through the message loop, on its own hidden window.

#include <windows.h>

#include <functional>

#include "component.h"
#include "util_window.h"

namespace winapp {

class TTimer : public TComponent {
  public:
    using TNotifyEvent = std::function<void(TObject* sender)>;

    explicit TTimer(TComponent* owner);
    ~TTimer() override;

    // The timer runs while it is enabled, has a non-zero interval and a handler; each
    // change re-arms it, so the next tick counts from the change. A system that has no
    // timer left raises "Not enough timers available".
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    UINT Interval() const { return FInterval; }
    void SetInterval(UINT interval);
    const TNotifyEvent& OnTimer() const { return FOnTimer; }
    void SetOnTimer(TNotifyEvent handler);

    bool Armed() const { return FArmed; }

  private:
    void UpdateTimer();
    void WndProc(TMessage& message);

    bool FEnabled = true;
    UINT FInterval = 1000;
    TNotifyEvent FOnTimer;
    bool FArmed = false;
    TUtilWindow FWindow;
};

} // namespace winapp
