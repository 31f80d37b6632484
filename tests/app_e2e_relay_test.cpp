// The real quendra.exe relaying: blocks from TCP clients on 127.0.0.1 replace the
// content of the output file named by quendra.ini.

#include <gtest/gtest.h>

#include <string>

#include "app_e2e_net.h"
#include "app_e2e_relay.h"
#include "process.h"
#include "temp_dir.h"

namespace {

using e2e::Installation;
using e2e::TestClient;
using e2e::WaitForFileContent;
using testsupport::QuendraProcess;

TEST(Relay, EachBlockFromAClientReplacesTheFileStrippedOfItsLastLineEnd) {
    const Installation relay(42100, "out.txt");
    QuendraProcess process(relay.Exe());
    ASSERT_TRUE(e2e::WaitUntilListening(relay.Port(), 10000));
    struct Case {
        const char* name;
        std::string sent;
        std::string file;
    } cases[] = {
        {"a line", "Hello\r\n", "Hello"},
        {"several lines keep their inner line ends", "one\r\ntwo\r\nthree\r\n",
         "one\r\ntwo\r\nthree"},
        {"a lone CR", "tail\r", "tail"},
        {"bytes of every value", std::string("a\0b\xff\n", 5), std::string("a\0b\xff\n", 5)},
        {"only a line end", "\r\n", ""},
        {"no line end", "Hello", "Hello"},
    };
    for (const Case& c : cases) {
        TestClient client(relay.Port());
        ASSERT_TRUE(client.Connected()) << c.name;
        ASSERT_TRUE(client.Send(c.sent)) << c.name;
        EXPECT_EQ(WaitForFileContent(relay.File("out.txt"), c.file), c.file) << c.name;
    }
    EXPECT_TRUE(process.Running());
}

TEST(Relay, TwoClientsInTurnLeaveTheBlockHandledLast) {
    const Installation relay(42140, "out.txt");
    QuendraProcess process(relay.Exe());
    ASSERT_TRUE(e2e::WaitUntilListening(relay.Port(), 10000));
    TestClient first(relay.Port());
    TestClient second(relay.Port());
    ASSERT_TRUE(first.Connected() && second.Connected());
    const std::string output = relay.File("out.txt");
    ASSERT_TRUE(first.Send("from the first\r\n"));
    EXPECT_EQ(WaitForFileContent(output, "from the first"), "from the first");
    ASSERT_TRUE(second.Send("from the second\r\n"));
    EXPECT_EQ(WaitForFileContent(output, "from the second"), "from the second");
    ASSERT_TRUE(first.Send("the first again\r\n"));
    EXPECT_EQ(WaitForFileContent(output, "the first again"), "the first again");
}

TEST(Relay, ARelativeOutputFileLandsInTheProgramDirectoryWhateverTheWorkingDirectory) {
    const Installation relay(42180, "relative.txt");
    testsupport::TempDir elsewhere("elsewhere");
    QuendraProcess process(relay.Exe(), elsewhere.Path());
    ASSERT_TRUE(e2e::WaitUntilListening(relay.Port(), 10000));
    TestClient client(relay.Port());
    ASSERT_TRUE(client.Send("Hello\r\n"));
    EXPECT_EQ(WaitForFileContent(relay.File("relative.txt"), "Hello"), "Hello");
    EXPECT_EQ(testsupport::ReadFileBytes(elsewhere.File("relative.txt")), "<missing>");
}

TEST(Relay, ThePortAndAnAbsoluteOutputPathComeFromTheSettingsFile) {
    testsupport::TempDir target("target");
    const std::string absolute = target.File("result.txt");
    const Installation relay(42220, absolute);
    QuendraProcess process(relay.Exe());
    ASSERT_TRUE(e2e::WaitUntilListening(relay.Port(), 10000));
    TestClient client(relay.Port());
    ASSERT_TRUE(client.Send("Hello\r\n"));
    EXPECT_EQ(WaitForFileContent(absolute, "Hello"), "Hello");
    EXPECT_EQ(testsupport::ReadFileBytes(relay.File("out.txt")), "<missing>");
}

TEST(Relay, APeerThatResetsItsConnectionLeavesTheRelayListening) {
    const Installation relay(42260, "out.txt");
    QuendraProcess process(relay.Exe());
    ASSERT_TRUE(e2e::WaitUntilListening(relay.Port(), 10000));
    TestClient steady(relay.Port());
    {
        TestClient resetting(relay.Port());
        ASSERT_TRUE(resetting.Send("before the reset\r\n"));
        EXPECT_EQ(WaitForFileContent(relay.File("out.txt"), "before the reset"),
                  "before the reset");
        resetting.Reset();
    }
    // A later connection and one that was open all along both still get through.
    TestClient later(relay.Port());
    ASSERT_TRUE(later.Connected());
    ASSERT_TRUE(later.Send("after the reset\r\n"));
    EXPECT_EQ(WaitForFileContent(relay.File("out.txt"), "after the reset"), "after the reset");
    ASSERT_TRUE(steady.Send("still here\r\n"));
    EXPECT_EQ(WaitForFileContent(relay.File("out.txt"), "still here"), "still here");
    EXPECT_EQ(process.FindWindowOfClass("#32770"), nullptr) << "no error box for a reset";
}

} // namespace
