#pragma once
// The application object: title, icon, forms, the message loop and the exception display.

#include <windows.h>

#include <functional>
#include <string>

#include "component.h"
#include "exception.h"

namespace winapp {

class TForm;

class TApplication : public TComponent {
  public:
    using TExceptionEvent = std::function<void(TObject* sender, const Exception& e)>;

    // One application object at a time; it makes itself the global `Application`.
    TApplication();
    ~TApplication() override;

    const std::string& Title() const { return FTitle; }
    void SetTitle(const std::string& title);
    HICON IconHandle() const { return FIcon; }
    bool ShowMainForm() const { return FShowMainForm; }
    void SetShowMainForm(bool show) { FShowMainForm = show; }
    TForm* MainForm() const { return FMainForm; }
    bool Terminated() const { return FTerminated; }
    // The hidden window that owns the forms and the exception display's message box.
    HWND Handle() const { return FHandle; }

    // When set, exceptions go here instead of the exception display.
    TExceptionEvent OnException;

    // Creates a form owned by the application and stores it in `reference` before its
    // create handler runs; the first form created becomes the main form afterwards.
    template <class TFormClass> void CreateForm(TFormClass*& reference) {
        reference = new TFormClass(this);
        FinishFormCreation(reference);
    }

    // Runs the message loop until the application is terminated. Of the show request
    // that the launcher passed to the process, only a maximised start is applied: to the
    // main form, just before the loop begins.
    void Run();
    void Terminate();
    // Handles the messages waiting now and returns.
    void ProcessMessages();

    // Call from inside a catch block: hands the exception being handled to
    // OnException, or shows it with the exception display.
    void HandleException(TObject* sender);
    void ShowException(const Exception& e);

    // Forms call this when they show or hide: the application's window, and with it the
    // task-bar button, is shown while any form is visible and hidden otherwise.
    void FormVisibilityChanged();

  private:
    void FinishFormCreation(TForm* form);
    bool ProcessMessage();
    static LRESULT CALLBACK WndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    std::string FTitle;
    HICON FIcon;
    bool FShowMainForm = true;
    bool FTerminated = false;
    TForm* FMainForm = nullptr;
    HWND FHandle = nullptr;
};

extern TApplication* Application;

} // namespace winapp
