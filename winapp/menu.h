#pragma once
// Pop-up menus and their items.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "component.h"
#include "util_window.h"

namespace winapp {

class TMenuItem : public TComponent {
  public:
    using TNotifyEvent = std::function<void(TObject* sender)>;

    explicit TMenuItem(TComponent* owner);
    // Leaves its parent item; items it holds stay with their owners.
    ~TMenuItem() override;

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& caption) { FCaption = caption; }
    // The default item is shown in bold.
    bool Default() const { return FDefault; }
    void SetDefault(bool isDefault) { FDefault = isDefault; }
    // The number that the system's menu reports when this item is chosen.
    WORD Command() const { return FCommand; }

    // Runs OnClick, when one is assigned.
    void Click();
    TNotifyEvent OnClick;

    // The items under this one, in order; the list does not own them.
    void Add(TMenuItem* item);
    void Remove(TMenuItem* item);
    int Count() const { return static_cast<int>(FItems.size()); }
    TMenuItem* Items(int index) const { return FItems.at(static_cast<size_t>(index)); }
    TMenuItem* Parent() const { return FParent; }

  private:
    std::string FCaption;
    bool FDefault = false;
    WORD FCommand;
    TMenuItem* FParent = nullptr;
    std::vector<TMenuItem*> FItems;
};

class TPopupMenu : public TComponent {
  public:
    explicit TPopupMenu(TComponent* owner);

    TMenuItem& Items() { return FItems; }
    const TMenuItem& Items() const { return FItems; }

    // Opens the menu with its top-left corner at the screen point; items react to either
    // mouse button. Returns when the menu closes; a chosen item's OnClick runs afterwards,
    // from the message loop.
    void Popup(int x, int y);

    // The window that receives the chosen command.
    HWND Handle() const { return FWindow.Handle(); }

  private:
    void WndProc(TMessage& message);

    TMenuItem FItems;
    TUtilWindow FWindow;
};

} // namespace winapp
