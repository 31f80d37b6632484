// The real quendra.exe: the single-instance guard and the exit codes.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app_e2e_desktop.h"
#include "handles.h"
#include "mutex_name.h"
#include "process.h"
#include "temp_dir.h"

namespace {

using testsupport::QuendraProcess;
using testsupport::TempDir;

// Copies quendra.exe into `dir` with settings that keep the test's machine quiet.
std::string Install(const std::string& dir) {
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string exe = dir + "quendra.exe";
    EXPECT_TRUE(CopyFileA(testsupport::QuendraExe().c_str(), exe.c_str(), FALSE));
    testsupport::WriteFileBytes(dir + "quendra.ini",
                                "[General]\r\nListenOnPort=0\r\nOutputFile=out.txt\r\nIdlePriority=0\r\n");
    return exe;
}

TEST(SingleInstance, ASecondCopyFromTheSameDirectoryEndsAtOnceAndLeavesTheFirstRunning) {
    TempDir dir("same");
    const std::string exe = Install(dir.Path());
    QuendraProcess first(exe);
    ASSERT_TRUE(first.WaitUntilUp());

    QuendraProcess second(exe, dir.Path(), nullptr);
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.WaitForExit(10000), 0u);
    EXPECT_TRUE(first.Running());

    EXPECT_TRUE(first.PostClose());
    EXPECT_EQ(first.WaitForExit(10000), 0u);

    // Once the first copy has ended, a new one runs normally.
    QuendraProcess again(exe);
    EXPECT_TRUE(again.WaitUntilUp());
    EXPECT_TRUE(again.PostClose());
    EXPECT_EQ(again.WaitForExit(10000), 0u);
}

TEST(SingleInstance, ACopyInADirectoryWithTheSameByteSumIsRefused) {
    TempDir root;
    const std::string ab = root.File("ab\\");
    const std::string ba = root.File("ba\\");
    ASSERT_EQ(quendra::MutexNameFor(ab), quendra::MutexNameFor(ba));
    QuendraProcess first(Install(ab));
    ASSERT_TRUE(first.WaitUntilUp());
    QuendraProcess second(Install(ba));
    EXPECT_EQ(second.WaitForExit(10000), 0u);
    EXPECT_TRUE(first.Running());
}

TEST(SingleInstance, AnEventObjectWithTheNameLetsTheCopyRunUnguarded) {
    TempDir dir("event");
    const std::string exe = Install(dir.Path());
    const winapp::TObjectHandle event(
        CreateEventA(nullptr, TRUE, FALSE, quendra::MutexNameFor(dir.Path()).c_str()));
    ASSERT_TRUE(event.Valid());
    QuendraProcess first(exe);
    ASSERT_TRUE(first.WaitUntilUp());
    QuendraProcess second(exe);
    EXPECT_TRUE(second.WaitUntilUp()) << "an unguarded copy runs even beside another";
    EXPECT_TRUE(first.PostClose());
    EXPECT_TRUE(second.PostClose());
    EXPECT_EQ(first.WaitForExit(10000), 0u);
    EXPECT_EQ(second.WaitForExit(10000), 0u);
}

TEST(SingleInstance, CommandLineArgumentsMakeNoDifference) {
    TempDir dir("args");
    const std::string exe = Install(dir.Path());
    QuendraProcess first(exe);
    ASSERT_TRUE(first.WaitUntilUp());
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string commandLine = "\"" + exe + "\" /anything --at all";
    ASSERT_TRUE(CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    const winapp::TObjectHandle second(pi.hProcess);
    ASSERT_EQ(WaitForSingleObject(second.Get(), 10000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(second.Get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(first.Running());
}

// An exception that escapes the start-up: a task-modal "Application Error" box that names
// the exception and its message, then exit code 1.
TEST(LastChance, AnExceptionThatEscapesTheStartUpIsShownAndEndsWithCode1) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string probe(self);
    probe.erase(probe.find_last_of('\\') + 1);
    probe += "last_chance_probe.exe";
    QuendraProcess process(probe);
    ASSERT_TRUE(process.Started()) << probe;
    HWND box = e2e::WaitForMessageBox(process.Id(), 10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(e2e::WindowText(box), "Application Error");
    EXPECT_EQ(e2e::MessageBoxText(box), "Exception Exception: Can not start socket session.");
    EXPECT_TRUE(e2e::PressOk(box));
    EXPECT_EQ(process.WaitForExit(10000), 1u);
}

} // namespace
