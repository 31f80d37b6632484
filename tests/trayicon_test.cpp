// The tray icon component: its record, its life in the shell and its mouse handling.

#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "application.h"
#include "exception.h"
#include "menu.h"
#include "pump.h"
#include "shown_exceptions.h"
#include "trayicon_probe.h"
#include "util_window.h"
#include "vek_tray_icon.h"

namespace {

using trayicon::TVekTray;
using winapp::Application;
using winapp::TComponent;
using winapp::TMenuItem;
using winapp::TPopupMenu;

// Asks the shell whether it holds an icon for (window, id), without changing it.
bool ShellHasIcon(HWND window, UINT id) {
    NOTIFYICONDATAA probe{};
    probe.cbSize = NOTIFYICONDATAA_V1_SIZE;
    probe.hWnd = window;
    probe.uID = id;
    return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

// Keeps the application's title and showing switch as the tests found them. One icon of
// the test's own stays in the notification area meanwhile: the shell takes a while to
// remove its last icon, and the tests remove many.
class TrayTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        Anchor = new winapp::TUtilWindow([](winapp::TMessage&) {});
        AnchorIcon(NIM_ADD);
    }
    static void TearDownTestSuite() {
        AnchorIcon(NIM_DELETE);
        delete Anchor;
        Anchor = nullptr;
    }

    void SetUp() override {
        FTitle = Application->Title();
        Application->SetShowMainForm(true);
    }
    void TearDown() override {
        Application->SetTitle(FTitle);
        Application->SetShowMainForm(true);
    }

  private:
    static void AnchorIcon(DWORD message) {
        NOTIFYICONDATAA data{};
        data.cbSize = NOTIFYICONDATAA_V1_SIZE;
        data.hWnd = Anchor->Handle();
        data.uID = 1;
        data.uFlags = NIF_ICON;
        data.hIcon = Application->IconHandle();
        Shell_NotifyIconA(message, &data);
    }
    static winapp::TUtilWindow* Anchor;
    std::string FTitle;
};

winapp::TUtilWindow* TrayTest::Anchor = nullptr;

TEST_F(TrayTest, TheRecordHoldsTheFirstLayoutWithTheApplicationsIconAndTitle) {
    Application->SetTitle("Quendra");
    TVekTray tray(nullptr);
    const trayicon::TNotifyIconDataV1& data = tray.IconData();
    EXPECT_EQ(data.cbSize, sizeof(trayicon::TNotifyIconDataV1));
    EXPECT_EQ(data.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
    EXPECT_EQ(data.hWnd, tray.NotifyWindow());
    EXPECT_EQ(data.uID, 57051u);
    EXPECT_EQ(data.uFlags, 7u);
    EXPECT_EQ(data.uCallbackMessage, 1025u);
    EXPECT_EQ(data.hIcon, Application->IconHandle());
    EXPECT_STREQ(data.szTip, "Quendra");
    EXPECT_EQ(tray.Hint(), "Quendra");
    EXPECT_FALSE(Application->ShowMainForm());
}

TEST_F(TrayTest, TheIconLivesInTheShellFromConstructionToDestruction) {
    HWND window = nullptr;
    {
        TVekTray tray(nullptr);
        window = tray.NotifyWindow();
        ASSERT_NE(window, nullptr);
        char className[32] = {};
        GetClassNameA(window, className, sizeof className);
        EXPECT_STREQ(className, "TPUtilWindow");
        EXPECT_TRUE(ShellHasIcon(window, 57051));
        EXPECT_FALSE(ShellHasIcon(window, 57052)) << "the shell tells icons apart";
    }
    EXPECT_FALSE(ShellHasIcon(window, 57051));
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(TrayTest, TheTipIsTheTitleWhileTheConstructorRunsCutTo63Characters) {
    const std::string seventy(70, 'q');
    struct Case {
        std::string title;
        std::string tip;
    } cases[] = {
        {"Quendra", "Quendra"},
        {std::string(63, 't'), std::string(63, 't')},
        {seventy, seventy.substr(0, 63)},
        {"", ""},
    };
    for (const Case& c : cases) {
        Application->SetTitle(c.title);
        TVekTray tray(nullptr);
        EXPECT_EQ(std::string(tray.IconData().szTip), c.tip) << c.title.size();
        tray.SetHint("written later");
        Application->SetTitle("changed later");
        EXPECT_EQ(std::string(tray.IconData().szTip), c.tip) << "the tip never changes";
        EXPECT_EQ(tray.Hint(), "written later");
    }
}

TEST_F(TrayTest, VersionAlwaysReadsOnePointZeroZero) {
    TVekTray tray(nullptr);
    EXPECT_EQ(tray.Version(), "1.00");
    tray.SetVersion("2.50");
    EXPECT_EQ(tray.Version(), "1.00");
}

TEST_F(TrayTest, OnAFormInADesignerItAddsNoIconCreatesNoWindowAndLeavesTheApplicationAlone) {
    TComponent designedForm(nullptr);
    designedForm.SetDesigning(true);
    auto* tray = new TVekTray(&designedForm);
    EXPECT_TRUE(tray->IsDesigning());
    EXPECT_EQ(tray->NotifyWindow(), nullptr);
    EXPECT_TRUE(Application->ShowMainForm());
    EXPECT_EQ(tray->IconData().cbSize, 0u);
    tray->SetHint("stored");
    EXPECT_EQ(tray->Hint(), "stored");
    EXPECT_EQ(tray->Version(), "1.00");
}

// A tray wired to a menu of logged items, the way the main form wires its own.
struct WiredTray {
    TComponent owner{nullptr};
    TVekTray* tray = new TVekTray(&owner);
    TPopupMenu* menu = new TPopupMenu(&owner);
    std::vector<std::string> log;

    void AddItem(const std::string& caption, bool isDefault) {
        auto* item = new TMenuItem(&owner);
        item->SetCaption(caption);
        item->SetDefault(isDefault);
        item->OnClick = [this, caption, item](winapp::TObject* sender) {
            log.push_back(caption);
            EXPECT_EQ(sender, item);
        };
        menu->Items().Add(item);
    }
    // What the shell sends when the mouse does something over the icon.
    void Notify(UINT mouseMessage) {
        SendMessageA(tray->NotifyWindow(), trayicon::WM_TRAYNOTIFY, trayicon::kTrayIconId,
                     static_cast<LPARAM>(mouseMessage));
    }
};

TEST_F(TrayTest, ADoubleClickRunsTheFirstDefaultItemAndThenOnDblClick) {
    struct Case {
        const char* name;
        bool withMenu;
        std::vector<std::pair<std::string, bool>> items;
        bool withDblClick;
        std::vector<std::string> expected;
    } cases[] = {
        {"two defaults",
         true,
         {{"plain", false}, {"first", true}, {"second", true}},
         true,
         {"first", "dblclick"}},
        {"no default", true, {{"plain", false}, {"other", false}}, true, {"dblclick"}},
        {"empty menu", true, {}, true, {"dblclick"}},
        {"no menu", false, {}, true, {"dblclick"}},
        {"no handler", true, {{"first", true}}, false, {"first"}},
        {"nothing", false, {}, false, {}},
    };
    for (const Case& c : cases) {
        WiredTray w;
        for (const auto& item : c.items)
            w.AddItem(item.first, item.second);
        if (c.withMenu)
            w.tray->SetPopupMenu(w.menu);
        if (c.withDblClick)
            w.tray->OnDblClick = [&](winapp::TObject* sender) {
                w.log.push_back("dblclick");
                EXPECT_EQ(sender, w.tray);
            };
        w.Notify(WM_LBUTTONDBLCLK);
        EXPECT_EQ(w.log, c.expected) << c.name;
    }
}

TEST_F(TrayTest, OtherMouseMessagesOverTheIconDoNothing) {
    WiredTray w;
    w.AddItem("first", true);
    w.tray->SetPopupMenu(w.menu);
    w.tray->OnDblClick = [&](winapp::TObject*) { w.log.push_back("dblclick"); };
    // A menu opened by mistake would be closed by the probe, and seen.
    testsupport::TOpenMenu seen;
    testsupport::ProbeNextMenu(seen);
    for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN,
                         WM_RBUTTONDBLCLK, WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK}) {
        w.Notify(message);
        EXPECT_TRUE(w.log.empty()) << message;
    }
    testsupport::StopMenuProbe();
    EXPECT_FALSE(seen.Seen);
}

TEST_F(TrayTest, ARightButtonReleaseOpensTheMenuAtTheCursor) {
    WiredTray w;
    w.AddItem("Exit", false);
    w.tray->SetPopupMenu(w.menu);
    ASSERT_TRUE(SetCursorPos(200, 150));
    testsupport::TOpenMenu seen;
    testsupport::ProbeNextMenu(seen);
    w.Notify(WM_RBUTTONUP);
    ASSERT_TRUE(seen.Seen) << "the menu opened and was closed again";
    POINT cursor{};
    GetCursorPos(&cursor);
    EXPECT_EQ(seen.Rect.left, cursor.x);
    EXPECT_EQ(seen.Rect.top, cursor.y);
    EXPECT_EQ(seen.Captions, std::vector<std::string>{"Exit"});
    EXPECT_EQ(seen.DefaultIndex, -1);
}

TEST_F(TrayTest, AnItemChosenFromTheOpenedMenuRunsAfterwards) {
    WiredTray w;
    w.AddItem("Open", false);
    w.AddItem("Exit", false);
    w.tray->SetPopupMenu(w.menu);
    testsupport::TOpenMenu seen;
    testsupport::ProbeNextMenu(seen, [](HWND menu) { testsupport::ChooseMenuItem(menu, 1); });
    w.Notify(WM_RBUTTONUP);
    ASSERT_TRUE(seen.Seen);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !w.log.empty(); }, 3000));
    EXPECT_EQ(w.log, std::vector<std::string>{"Exit"});
}

TEST_F(TrayTest, ARightButtonReleaseWithoutAMenuOnlyBringsTheWindowForward) {
    WiredTray w;
    w.tray->OnDblClick = [&](winapp::TObject*) { w.log.push_back("dblclick"); };
    w.Notify(WM_RBUTTONUP);
    EXPECT_EQ(GetForegroundWindow(), w.tray->NotifyWindow());
    EXPECT_TRUE(w.log.empty());
}

TEST_F(TrayTest, AnExceptionFromTheDefaultItemReachesTheExceptionDisplay) {
    testsupport::ShownExceptions().clear();
    WiredTray w;
    auto* item = new TMenuItem(&w.owner);
    item->SetDefault(true);
    item->OnClick = [](winapp::TObject*) { throw winapp::Exception("item failed"); };
    w.menu->Items().Add(item);
    w.tray->SetPopupMenu(w.menu);
    w.tray->OnDblClick = [&](winapp::TObject*) { w.log.push_back("dblclick"); };
    w.Notify(WM_LBUTTONDBLCLK);
    ASSERT_EQ(testsupport::ShownExceptions().size(), 1u);
    EXPECT_EQ(testsupport::ShownExceptions()[0], "item failed");
    EXPECT_TRUE(w.log.empty()) << "the exception ends the handling of the double-click";
}

TEST_F(TrayTest, OtherMessagesGetTheDefaultHandling) {
    TVekTray tray(nullptr);
    char text[16] = "unchanged";
    EXPECT_EQ(
        SendMessageA(tray.NotifyWindow(), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)),
        0);
    EXPECT_STREQ(text, "");
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    SendMessageA(tray.NotifyWindow(), taskbarCreated, 0, 0);
    EXPECT_TRUE(ShellHasIcon(tray.NotifyWindow(), 57051));
}

} // namespace
