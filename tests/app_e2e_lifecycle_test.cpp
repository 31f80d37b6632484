// The real quendra.exe from start to end: a port already in use, "Exit" from the icon's
// menu with clients connected, a second copy meanwhile, and a log-off.

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "app_e2e_desktop.h"
#include "app_e2e_net.h"
#include "app_e2e_relay.h"
#include "process.h"

namespace {

using e2e::Installation;
using e2e::TestClient;
using testsupport::QuendraProcess;

// Starts the relay and waits for its icon; null when this display has no tray to look at.
HWND StartAndFindIcon(QuendraProcess& process) {
    const std::vector<HWND> before = e2e::TrayIconWindows();
    if (!process.Started() || !process.WaitUntilUp())
        return nullptr;
    return e2e::WaitForNewTrayIcon(before, 10000);
}

// Lets the start strip come and go, so that the desktop is as a person meets it later.
void WaitForTheStripToGo(const QuendraProcess& process) {
    HWND strip = nullptr;
    const DWORD start = GetTickCount();
    while (strip == nullptr && GetTickCount() - start < 5000) {
        strip = e2e::FindProcessWindow(process.Id(), "TForm", true);
        Sleep(20);
    }
    if (strip != nullptr)
        e2e::WaitForVisibility(strip, false, 15000);
}

TEST(Lifecycle, APortInUseIsReportedInABoxAndTheProgramRunsOnWithoutListening) {
    const Installation relay(42600, "out.txt");
    e2e::PortHolder holder(relay.Port());
    ASSERT_TRUE(holder.Holding());
    const std::vector<HWND> iconsBefore = e2e::TrayIconWindows();
    QuendraProcess process(relay.Exe());
    HWND box = e2e::WaitForMessageBox(process.Id(), 15000);
    ASSERT_NE(box, nullptr) << "the failure to listen is shown";
    EXPECT_EQ(e2e::WindowText(box), "Quendra");
    EXPECT_EQ(e2e::MessageBoxText(box), "Address already in use.");
    EXPECT_EQ(GetWindow(box, GW_OWNER), process.FindWindowOfClass("TApplication"));
    EXPECT_EQ(e2e::FindProcessWindow(process.Id(), "TForm", true), nullptr)
        << "the box comes before the strip";

    // "Exit" while the box is open: the form is not the main form yet, so closing it
    // only hides it, and the program runs on.
    HWND icon = e2e::WaitForNewTrayIcon(iconsBefore, 5000);
    if (icon != nullptr) {
        ASSERT_TRUE(e2e::ChooseOnlyTrayMenuItem(icon, process.Id()));
        Sleep(1000);
        EXPECT_TRUE(process.Running()) << "Exit during the box does not end the program";
    }
    // Held open past the display time, the box sees the first tick: the strip, not yet
    // shown then, shows after OK and stays.
    Sleep(2500);
    ASSERT_TRUE(e2e::PressOk(box));
    HWND strip = nullptr;
    const DWORD start = GetTickCount();
    while (strip == nullptr && GetTickCount() - start < 10000) {
        strip = e2e::FindProcessWindow(process.Id(), "TForm", true);
        Sleep(20);
    }
    ASSERT_NE(strip, nullptr) << "after OK the strip shows";
    Sleep(2500);
    EXPECT_TRUE(IsWindowVisible(strip)) << "and stays, the timer having been switched off";
    holder.Release();
    Sleep(500);
    EXPECT_FALSE(TestClient(relay.Port(), 1000).Connected()) << "the program does not listen";
    EXPECT_TRUE(process.Running());

    if (icon == nullptr)
        GTEST_SKIP() << "needs Wine's own notification-area window to choose Exit";
    ASSERT_TRUE(e2e::ChooseOnlyTrayMenuItem(icon, process.Id()));
    EXPECT_EQ(process.WaitForExit(15000), 0u) << "Exit still ends the program";
}

TEST(Lifecycle, ExitFromTheIconsMenuEndsTheClientsTheIconAndTheProcess) {
    const Installation relay(42640, "out.txt");
    QuendraProcess process(relay.Exe());
    HWND icon = StartAndFindIcon(process);
    if (icon == nullptr && !e2e::HasStandaloneTray())
        GTEST_SKIP() << "needs Wine's own notification-area window on a display without a tray";
    ASSERT_NE(icon, nullptr);
    ASSERT_TRUE(e2e::WaitUntilListening(relay.Port(), 10000));
    TestClient first(relay.Port());
    TestClient second(relay.Port());
    ASSERT_TRUE(first.Send("connected\r\n"));
    ASSERT_EQ(e2e::WaitForFileContent(relay.File("out.txt"), "connected"), "connected");
    ASSERT_TRUE(second.Connected());

    QuendraProcess secondCopy(relay.Exe());
    ASSERT_TRUE(secondCopy.Started());
    EXPECT_EQ(secondCopy.WaitForExit(10000), 0u) << "a second copy ends at once";

    WaitForTheStripToGo(process);
    ASSERT_TRUE(e2e::ChooseOnlyTrayMenuItem(icon, process.Id()));
    EXPECT_TRUE(first.WaitForEnd(10000));
    EXPECT_TRUE(second.WaitForEnd(10000));
    EXPECT_EQ(process.WaitForExit(15000), 0u);
    EXPECT_FALSE(IsWindowVisible(icon)) << "the icon is removed";
}

TEST(Lifecycle, ALogOffEndsTheProgramThroughItsTeardown) {
    const Installation relay(42680, "out.txt");
    QuendraProcess process(relay.Exe());
    HWND icon = StartAndFindIcon(process);
    ASSERT_TRUE(e2e::WaitUntilListening(relay.Port(), 10000));
    TestClient client(relay.Port());
    ASSERT_TRUE(client.Connected());
    HWND application = process.FindWindowOfClass("TApplication");
    ASSERT_NE(application, nullptr);

    DWORD_PTR mayEnd = 0;
    ASSERT_NE(
        SendMessageTimeoutA(application, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &mayEnd),
        0);
    EXPECT_NE(mayEnd, 0u) << "the program lets the session end";
    EXPECT_TRUE(process.Running()) << "asking alone ends nothing";
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(application, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    EXPECT_EQ(process.WaitForExit(15000), 0u);
    EXPECT_TRUE(client.WaitForEnd(5000));
    if (icon != nullptr) {
        EXPECT_FALSE(IsWindowVisible(icon)) << "the icon is removed";
    }
}

} // namespace
