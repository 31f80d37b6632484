#include "menu.h"

#include <algorithm>

namespace winapp {

namespace {

// Command numbers are 16 bits in WM_COMMAND; zero means "no command".
WORD NextCommand() {
    static WORD last = 0;
    if (++last == 0)
        ++last;
    return last;
}

// Owns a menu built for one showing.
class TMenuHandle {
  public:
    TMenuHandle() : FMenu(CreatePopupMenu()) {}
    ~TMenuHandle() {
        if (FMenu != nullptr)
            DestroyMenu(FMenu);
    }
    TMenuHandle(const TMenuHandle&) = delete;
    TMenuHandle& operator=(const TMenuHandle&) = delete;

    HMENU Get() const { return FMenu; }

  private:
    HMENU FMenu;
};

TMenuItem* FindCommand(const TMenuItem& parent, WORD command) {
    for (int i = 0; i < parent.Count(); ++i)
        if (parent.Items(i)->Command() == command)
            return parent.Items(i);
    return nullptr;
}

} // namespace

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), FCommand(NextCommand()) {}

TMenuItem::~TMenuItem() {
    if (FParent != nullptr)
        FParent->Remove(this);
    for (TMenuItem* item : FItems)
        item->FParent = nullptr;
}

void TMenuItem::Click() {
    if (OnClick)
        OnClick(this);
}

void TMenuItem::Add(TMenuItem* item) {
    if (item->FParent != nullptr)
        item->FParent->Remove(item);
    FItems.push_back(item);
    item->FParent = this;
}

void TMenuItem::Remove(TMenuItem* item) {
    const auto it = std::find(FItems.begin(), FItems.end(), item);
    if (it == FItems.end())
        return;
    FItems.erase(it);
    item->FParent = nullptr;
}

TPopupMenu::TPopupMenu(TComponent* owner)
    : TComponent(owner), FItems(nullptr), FWindow([this](TMessage& message) { WndProc(message); }) {
}

void TPopupMenu::Popup(int x, int y) {
    const TMenuHandle menu;
    bool hasDefault = false;
    for (int i = 0; i < FItems.Count(); ++i) {
        const TMenuItem* item = FItems.Items(i);
        AppendMenuA(menu.Get(), MF_STRING, item->Command(), item->Caption().c_str());
        // The system's menu shows one default item: the first one marked.
        if (item->Default() && !hasDefault) {
            SetMenuDefaultItem(menu.Get(), static_cast<UINT>(i), TRUE);
            hasDefault = true;
        }
    }
    TrackPopupMenu(menu.Get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, x, y, 0,
                   FWindow.Handle(), nullptr);
}

void TPopupMenu::WndProc(TMessage& message) {
    // The system posts the chosen command once the menu has closed, so the item runs
    // from the message loop and not from inside the menu's own loop.
    if (message.Msg == WM_COMMAND && HIWORD(message.WParam) == 0) {
        if (TMenuItem* item = FindCommand(FItems, LOWORD(message.WParam)))
            item->Click();
        return;
    }
    message.Result = DefWindowProcA(FWindow.Handle(), message.Msg, message.WParam, message.LParam);
}

} // namespace winapp
