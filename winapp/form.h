#pragma once
// A form: a top-level window owned by the application's window, with create and close handlers.

#include <windows.h>

#include <functional>

#include "component.h"

namespace winapp {

enum class TCloseAction { caNone, caHide, caFree, caMinimize };

class TForm : public TComponent {
public:
    using TNotifyEvent = std::function<void(TObject* sender)>;
    using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;

    explicit TForm(TComponent* owner);
    ~TForm() override;

    HWND Handle() const { return FHandle; }
    void HandleNeeded();

    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);

    // Asks the form to close: OnClose may change the hide action; closing the main
    // form terminates the application.
    void Close();

    TNotifyEvent OnCreate;
    TCloseEvent OnClose;

    // Runs once the form and everything it owns are constructed: the create handler,
    // whose exception is shown by the exception display and does not stop the creation.
    virtual void AfterConstruction();

private:
    static LRESULT CALLBACK WndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND FHandle = nullptr;
    bool FVisible = false;
};

} // namespace winapp
