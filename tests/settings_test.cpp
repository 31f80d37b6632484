// The settings step, each row a real quendra.ini read through the system's profile reader.

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "globals.h"
#include "settings.h"
#include "temp_dir.h"

namespace {

struct Outcome {
    uint16_t port;
    std::string outputFile;
    bool idle;
};

// Runs the settings step on `iniText` (none when empty optional) in a fresh folder.
Outcome ApplyTo(const std::optional<std::string>& iniText, std::vector<std::string>* order = nullptr) {
    testsupport::TempDir dir;
    if (iniText)
        testsupport::WriteFileBytes(dir.File("quendra.ini"), *iniText);
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    quendra::OutputFileName = "<unset>";
    uint16_t port = 0;
    quendra::ApplySettings(dir.Path(), [&](uint16_t p) {
        port = p;
        if (order)
            order->push_back("port, output still " + quendra::OutputFileName);
    });
    EXPECT_EQ(quendra::AppDir, dir.Path());
    return {port, quendra::OutputFileName, GetPriorityClass(GetCurrentProcess()) == IDLE_PRIORITY_CLASS};
}

std::string General(const std::string& lines) { return "[General]\r\n" + lines + "\r\n"; }

TEST(Settings, EachRowOfTheSettingsFileGivesItsValues) {
    const std::string kDefaultOut = "C:\\output.txt";
    struct {
        std::optional<std::string> ini;
        uint16_t port;
        std::string outputFile;
        bool idle;
    } cases[] = {
        {std::nullopt, 23, kDefaultOut, true},
        {General("ListenOnPort=23\r\nOutputFile=C:\\output.txt\r\nIdlePriority=1"), 23, kDefaultOut, true},
        {General("ListenOnPort=0x1F90"), 8080, kDefaultOut, true},
        {General("ListenOnPort=0X1f90"), 8080, kDefaultOut, true},
        {General("ListenOnPort=$1F90"), 8080, kDefaultOut, true},
        {General("ListenOnPort=x1F90"), 8080, kDefaultOut, true},
        {General("ListenOnPort=+8080"), 8080, kDefaultOut, true},
        {General("ListenOnPort=8080abc"), 23, kDefaultOut, true},
        {General("ListenOnPort=80 80"), 23, kDefaultOut, true},
        {General("ListenOnPort="), 23, kDefaultOut, true},
        {General("ListenOnPort=65559"), 23, kDefaultOut, true},
        {General("ListenOnPort=-1"), 65535, kDefaultOut, true},
        {General("ListenOnPort=65536"), 0, kDefaultOut, true},
        {General("ListenOnPort=4294967296"), 23, kDefaultOut, true},
        {General("listenonport=8080"), 8080, kDefaultOut, true},
        {"[general]\r\nLISTENONPORT=8081\r\n", 8081, kDefaultOut, true},
        {"[Other]\r\nListenOnPort=8080\r\nOutputFile=x.txt\r\nIdlePriority=0\r\n", 23, kDefaultOut, true},
        {General("OutputFile=\"C:\\with space\\out.txt\""), 23, "C:\\with space\\out.txt", true},
        {General("OutputFile=out.txt"), 23, "out.txt", true},
        {General("OutputFile="), 23, "", true},
        {General("IdlePriority=0"), 23, kDefaultOut, false},
        {General("IdlePriority=00"), 23, kDefaultOut, false},
        {General("IdlePriority=$0"), 23, kDefaultOut, false},
        {General("IdlePriority=0x0"), 23, kDefaultOut, false},
        {General("IdlePriority=1"), 23, kDefaultOut, true},
        {General("IdlePriority=2"), 23, kDefaultOut, true},
        {General("IdlePriority=-1"), 23, kDefaultOut, true},
        {General("IdlePriority=false"), 23, kDefaultOut, true},
        {General("IdlePriority=no"), 23, kDefaultOut, true},
        {General("IdlePriority="), 23, kDefaultOut, true},
    };
    for (const auto& c : cases) {
        const Outcome got = ApplyTo(c.ini);
        const std::string row = c.ini ? *c.ini : "<no file>";
        EXPECT_EQ(got.port, c.port) << row;
        EXPECT_EQ(got.outputFile, c.outputFile) << row;
        EXPECT_EQ(got.idle, c.idle) << row;
    }
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
}

TEST(Settings, ThePortIsHandedOverBeforeTheOutputFileIsRead) {
    std::vector<std::string> order;
    ApplyTo(General("ListenOnPort=99\r\nOutputFile=later.txt"), &order);
    ASSERT_EQ(order.size(), 1u);
    EXPECT_EQ(order[0], "port, output still <unset>");
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
}

TEST(Settings, AnExceptionFromThePortLeavesTheLaterKeysUnread) {
    testsupport::TempDir dir;
    testsupport::WriteFileBytes(dir.File("quendra.ini"), General("OutputFile=never.txt"));
    quendra::OutputFileName = "<unset>";
    EXPECT_THROW(quendra::ApplySettings(dir.Path(), [](uint16_t) { throw std::runtime_error("port"); }),
                 std::runtime_error);
    EXPECT_EQ(quendra::OutputFileName, "<unset>");
}

} // namespace
