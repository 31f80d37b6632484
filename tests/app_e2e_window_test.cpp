// The real quendra.exe as a person sees it: the caption strip at start, the
// notification-area icon with its tip, a maximised start, and the program's icon.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app_e2e_desktop.h"
#include "app_e2e_net.h"
#include "app_e2e_relay.h"
#include "handles.h"
#include "process.h"

namespace {

using e2e::Installation;
using testsupport::QuendraProcess;

HWND WaitForStrip(DWORD processId, DWORD timeoutMs = 10000) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (HWND strip = e2e::FindProcessWindow(processId, "TForm", true))
            return strip;
        Sleep(10);
    }
    return nullptr;
}

TEST(StartStrip, IsShownCentredAndTopmostThenHiddenForGoodWhileTheRelayServes) {
    const Installation relay(42400, "out.txt");
    QuendraProcess process(relay.Exe());
    HWND strip = WaitForStrip(process.Id());
    ASSERT_NE(strip, nullptr) << "the strip shows at start";
    const DWORD shownAt = GetTickCount();
    RECT r{};
    GetWindowRect(strip, &r);
    EXPECT_EQ(r.right - r.left, 121);
    EXPECT_EQ(r.bottom - r.top, 13);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 121) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 13) / 2);
    EXPECT_NE(GetWindowLongPtrA(strip, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(GetWindowLongPtrA(strip, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);
    EXPECT_EQ(e2e::WindowText(strip), "Quendra");
    HWND application = process.FindWindowOfClass("TApplication");
    ASSERT_NE(application, nullptr);
    EXPECT_EQ(GetWindow(strip, GW_OWNER), application);
    EXPECT_TRUE(IsWindowVisible(application)) << "the task-bar button shows with the strip";
    EXPECT_EQ(e2e::WindowText(application), "Quendra");

    ASSERT_TRUE(e2e::WaitForVisibility(strip, false, 15000));
    const DWORD shownFor = GetTickCount() - shownAt;
    EXPECT_GE(shownFor, 800u);
    EXPECT_LT(shownFor, 8000u);
    EXPECT_TRUE(e2e::WaitForVisibility(application, false, 5000)) << "and goes with it";

    e2e::TestClient client(relay.Port());
    ASSERT_TRUE(client.Send("after the strip\r\n"));
    EXPECT_EQ(e2e::WaitForFileContent(relay.File("out.txt"), "after the strip"), "after the strip");
    Sleep(2000);
    EXPECT_FALSE(IsWindowVisible(strip)) << "nothing shows the strip again";
}

TEST(TrayIcon, AppearsWithTheTitleAsItsTipIgnoresADoubleClickAndGoesAtTheEnd) {
    const Installation relay(42440, "out.txt");
    const std::vector<HWND> before = e2e::TrayIconWindows();
    QuendraProcess process(relay.Exe());
    ASSERT_TRUE(process.WaitUntilUp());
    HWND icon = e2e::WaitForNewTrayIcon(before, 10000);
    if (icon == nullptr && !e2e::HasStandaloneTray())
        GTEST_SKIP() << "needs Wine's own notification-area window on a display without a tray";
    ASSERT_NE(icon, nullptr) << "the icon is added";
    HWND strip = WaitForStrip(process.Id());
    if (strip != nullptr) {
        ASSERT_TRUE(e2e::WaitForVisibility(strip, false, 15000));
    }

    EXPECT_EQ(e2e::TipOfTrayIcon(icon), "Quendra");

    // No default item and no double-click handler: nothing happens.
    e2e::DoubleClickAt(e2e::CentreOf(icon));
    Sleep(1000);
    EXPECT_EQ(e2e::FindProcessWindow(process.Id(), "#32768", true), nullptr);
    EXPECT_EQ(e2e::FindProcessWindow(process.Id(), "TForm", true), nullptr);
    EXPECT_TRUE(process.Running());

    ASSERT_TRUE(process.PostClose());
    EXPECT_EQ(process.WaitForExit(15000), 0u);
    EXPECT_FALSE(IsWindowVisible(icon)) << "the icon is removed";
}

// A copy started the way a shortcut set to "Maximized" starts it.
class MaximisedStart {
  public:
    explicit MaximisedStart(const std::string& exe) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_SHOWMAXIMIZED;
        PROCESS_INFORMATION pi{};
        std::string commandLine = "\"" + exe + "\"";
        if (CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &si, &pi)) {
            CloseHandle(pi.hThread);
            FProcess = winapp::TObjectHandle(pi.hProcess);
            FId = pi.dwProcessId;
        }
    }
    ~MaximisedStart() {
        if (!FProcess.Valid())
            return;
        if (HWND application = e2e::FindProcessWindow(FId, "TApplication"))
            PostMessageA(application, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(FProcess.Get(), 10000) != WAIT_OBJECT_0)
            TerminateProcess(FProcess.Get(), 99);
    }
    MaximisedStart(const MaximisedStart&) = delete;
    MaximisedStart& operator=(const MaximisedStart&) = delete;

    DWORD Id() const { return FId; }

  private:
    winapp::TObjectHandle FProcess;
    DWORD FId = 0;
};

TEST(StartStrip, AMaximisedStartMaximisesTheStripUntilItIsHidden) {
    const Installation relay(42480, "out.txt");
    MaximisedStart process(relay.Exe());
    ASSERT_NE(process.Id(), 0u);
    HWND strip = WaitForStrip(process.Id());
    ASSERT_NE(strip, nullptr);
    const DWORD start = GetTickCount();
    bool maximised = false;
    while (!maximised && IsWindowVisible(strip) && GetTickCount() - start < 5000) {
        maximised = IsZoomed(strip) != FALSE;
        Sleep(10);
    }
    ASSERT_TRUE(maximised) << "maximised once the message loop runs";
    RECT r{};
    GetWindowRect(strip, &r);
    EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(r.bottom - r.top, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_TRUE(e2e::WaitForVisibility(strip, false, 15000)) << "the first tick still hides it";
}

// The icon resources as stored in the program file.
#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE Width, Height, ColorCount, Reserved;
    WORD Planes, BitCount;
    DWORD BytesInRes;
    WORD Id;
};
struct GroupIconHeader {
    WORD Reserved, Type, Count;
    GroupIconEntry Entries[1];
};
#pragma pack(pop)

TEST(ProgramIcon, IsOneMainIconOf32By32PixelsIn256Colours) {
    HMODULE program =
        LoadLibraryExA(testsupport::QuendraExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    HRSRC group = FindResourceA(program, "MAINICON", MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
    ASSERT_NE(group, nullptr) << "MAINICON is linked into the program";
    const auto* header =
        static_cast<const GroupIconHeader*>(LockResource(LoadResource(program, group)));
    ASSERT_NE(header, nullptr);
    ASSERT_EQ(header->Count, 1u);
    const GroupIconEntry& entry = header->Entries[0];
    EXPECT_EQ(entry.Width, 32u);
    EXPECT_EQ(entry.Height, 32u);
    EXPECT_EQ(entry.BitCount, 8u);
    HRSRC image =
        FindResourceA(program, MAKEINTRESOURCEA(entry.Id), MAKEINTRESOURCEA(3) /* RT_ICON */);
    ASSERT_NE(image, nullptr);
    const auto* bitmap =
        static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(program, image)));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->biWidth, 32);
    EXPECT_EQ(bitmap->biHeight, 64) << "the colour image and its mask";
    EXPECT_EQ(bitmap->biBitCount, 8u);
    EXPECT_TRUE(bitmap->biClrUsed == 0 || bitmap->biClrUsed == 256);
    // The picture is ours and not blank: it uses many of its colours.
    const auto* palette = reinterpret_cast<const RGBQUAD*>(bitmap + 1);
    const auto* pixels = reinterpret_cast<const BYTE*>(palette + 256);
    bool used[256] = {};
    int distinct = 0;
    for (int i = 0; i < 32 * 32; ++i)
        if (!used[pixels[i]]) {
            used[pixels[i]] = true;
            ++distinct;
        }
    EXPECT_GT(distinct, 16);
    FreeLibrary(program);
}

} // namespace
