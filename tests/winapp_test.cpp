// The framework over Win32: ownership, the memory stream, hidden windows, the INI reader.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "component.h"
#include "exception.h"
#include "ini_file.h"
#include "memory_stream.h"
#include "shown_exceptions.h"
#include "temp_dir.h"
#include "util_window.h"

namespace {

using winapp::TComponent;

// Records its name into a shared log when it is destroyed, with the state it saw.
class LoggingComponent : public TComponent {
public:
    LoggingComponent(TComponent* owner, std::string name, std::vector<std::string>& log)
        : TComponent(owner), FName(std::move(name)), FLog(log) {}
    ~LoggingComponent() override {
        FLog.push_back(FName + (IsDestroying() ? " destroying" : " NOT destroying"));
    }

private:
    std::string FName;
    std::vector<std::string>& FLog;
};

TEST(ComponentOwnership, AnOwnerFreesWhatItOwnsInReverseOrderOfCreation) {
    std::vector<std::string> log;
    auto* owner = new LoggingComponent(nullptr, "owner", log);
    new LoggingComponent(owner, "first", log);
    auto* second = new LoggingComponent(owner, "second", log);
    new LoggingComponent(second, "grandchild", log);
    new LoggingComponent(owner, "third", log);
    TComponent::Free(owner);
    // A component's own destructor runs before it frees what it owns.
    const std::vector<std::string> expected = {"owner destroying", "third destroying",
                                               "second destroying", "grandchild destroying",
                                               "first destroying"};
    EXPECT_EQ(log, expected);
}

TEST(ComponentOwnership, AComponentFreedByHandLeavesItsOwnersList) {
    std::vector<std::string> log;
    auto* owner = new LoggingComponent(nullptr, "owner", log);
    auto* child = new LoggingComponent(owner, "child", log);
    TComponent::Free(child);
    EXPECT_TRUE(owner->Components().empty());
    TComponent::Free(owner);
    EXPECT_EQ(log.size(), 2u);
}

TEST(ComponentState, DesigningIsAFlagOfItsOwn) {
    TComponent component(nullptr);
    EXPECT_FALSE(component.IsDesigning());
    component.SetDesigning(true);
    EXPECT_TRUE(component.IsDesigning());
    EXPECT_FALSE(component.IsDestroying());
    component.SetDesigning(false);
    EXPECT_EQ(component.ComponentState(), 0u);
}

TEST(MemoryStream, WritesAppendAtThePositionAndReadsComeBackInOrder) {
    winapp::TMemoryStream stream;
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        const std::string piece = std::to_string(i) + std::string(1, '\0');
        stream.Write(piece.data(), piece.size());
        expected += piece;
    }
    EXPECT_EQ(stream.Size(), expected.size());
    EXPECT_EQ(stream.Position(), expected.size());
    stream.SetPosition(0);
    std::string back(expected.size() + 10, 'x');
    EXPECT_EQ(stream.Read(&back[0], back.size()), expected.size());
    back.resize(expected.size());
    EXPECT_EQ(back, expected);
    EXPECT_EQ(stream.Read(&back[0], 1), 0u);
}

TEST(MemoryStream, InPlaceWritesKeepOnlyWhatWasFilled) {
    winapp::TMemoryStream stream;
    stream.Write("ab", 2);
    char* room = stream.BeginWrite(100);
    room[0] = 'c';
    stream.EndWrite(1);
    EXPECT_EQ(stream.Size(), 3u);
    EXPECT_EQ(std::string(stream.Memory(), stream.Size()), "abc");
}

TEST(MemoryStream, OverwritingInsideKeepsTheSize) {
    winapp::TMemoryStream stream;
    stream.Write("abcdef", 6);
    stream.SetPosition(2);
    stream.Write("XY", 2);
    EXPECT_EQ(std::string(stream.Memory(), stream.Size()), "abXYef");
}

TEST(UtilWindow, IsAHiddenZeroSizeToolWindowWhoseMessagesReachTheMethod) {
    std::vector<UINT> seen;
    winapp::TUtilWindow window([&](winapp::TMessage& m) {
        seen.push_back(m.Msg);
        if (m.Msg == WM_USER + 7)
            m.Result = 42;
    });
    HWND handle = window.Handle();
    ASSERT_NE(handle, nullptr);
    char className[64] = {};
    GetClassNameA(handle, className, sizeof className);
    EXPECT_STREQ(className, "TPUtilWindow");
    EXPECT_FALSE(IsWindowVisible(handle));
    EXPECT_NE(GetWindowLongPtrA(handle, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_EQ(GetWindow(handle, GW_OWNER), nullptr);
    RECT r;
    GetWindowRect(handle, &r);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(r.bottom - r.top, 0);
    EXPECT_EQ(SendMessageA(handle, WM_USER + 7, 0, 0), 42);
    EXPECT_EQ(seen.back(), static_cast<UINT>(WM_USER + 7));
}

TEST(UtilWindow, AnExceptionFromTheMethodGoesToTheApplication) {
    testsupport::ShownExceptions().clear();
    winapp::TUtilWindow window([](winapp::TMessage& m) {
        if (m.Msg == WM_USER + 8)
            throw winapp::Exception("from the handler");
    });
    SendMessageA(window.Handle(), WM_USER + 8, 0, 0);
    ASSERT_EQ(testsupport::ShownExceptions().size(), 1u);
    EXPECT_EQ(testsupport::ShownExceptions()[0], "from the handler");
}

TEST(UtilWindow, AReleasedWindowIsGoneAndItsMethodIsNotCalled) {
    int calls = 0;
    HWND handle = winapp::AllocateHWnd([&](winapp::TMessage&) { ++calls; });
    winapp::DeallocateHWnd(handle);
    const int callsAtRelease = calls;
    EXPECT_FALSE(IsWindow(handle));
    PostMessageA(handle, WM_USER, 0, 0);
    EXPECT_EQ(calls, callsAtRelease);
}

TEST(IniFile, ReadsThroughTheProfileReader) {
    testsupport::TempDir dir;
    const std::string path = dir.File("test.ini");
    testsupport::WriteFileBytes(path, "[Other]\r\nKey=other\r\n[general]\r\n  key  =  spaced  \r\n"
                                      "Quoted=\"C:\\a b\\c.txt\"\r\nLong=" +
                                          std::string(3000, 'v') + "\r\nNumber=0x10\r\nFlag=0\r\n");
    const winapp::TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("General", "Key", "default"), "spaced");
    EXPECT_EQ(ini.ReadString("General", "Quoted", ""), "C:\\a b\\c.txt");
    EXPECT_EQ(ini.ReadString("General", "Long", "").size(), 2047u);
    EXPECT_EQ(ini.ReadString("General", "Missing", "default"), "default");
    EXPECT_EQ(ini.ReadString("Nowhere", "Key", "default"), "default");
    EXPECT_EQ(ini.ReadInteger("General", "Number", 7), 16);
    EXPECT_EQ(ini.ReadInteger("General", "Key", 7), 7);
    EXPECT_FALSE(ini.ReadBool("General", "Flag", true));
    EXPECT_TRUE(ini.ReadBool("General", "Missing", true));
    EXPECT_EQ(winapp::TIniFile(dir.File("absent.ini")).ReadString("General", "Key", "d"), "d");
}

} // namespace
