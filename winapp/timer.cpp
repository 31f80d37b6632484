#include "timer.h"

#include "exception.h"

namespace winapp {

namespace {
constexpr UINT_PTR kTimerId = 1;
}

TTimer::TTimer(TComponent* owner)
    : TComponent(owner), FWindow([this](TMessage& message) { WndProc(message); }) {}

TTimer::~TTimer() {
    if (FArmed)
        KillTimer(FWindow.Handle(), kTimerId);
}

void TTimer::SetEnabled(bool enabled) {
    FEnabled = enabled;
    UpdateTimer();
}

void TTimer::SetInterval(UINT interval) {
    FInterval = interval;
    UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
    FOnTimer = std::move(handler);
    UpdateTimer();
}

void TTimer::UpdateTimer() {
    if (FArmed)
        KillTimer(FWindow.Handle(), kTimerId);
    FArmed = false;
    if (!FEnabled || FInterval == 0 || !FOnTimer)
        return;
    if (SetTimer(FWindow.Handle(), kTimerId, FInterval, nullptr) == 0)
        throw Exception("Not enough timers available");
    FArmed = true;
}

void TTimer::WndProc(TMessage& message) {
    if (message.Msg == WM_TIMER) {
        // Copied first: the handler may replace itself or switch the timer off.
        const TNotifyEvent handler = FOnTimer;
        if (handler)
            handler(this);
        return;
    }
    message.Result = DefWindowProcA(FWindow.Handle(), message.Msg, message.WParam, message.LParam);
}

} // namespace winapp
