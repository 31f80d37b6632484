#pragma once
// What the socket component tests share: a Winsock session for the test's own sockets,
// a recorder of what the exception display would have shown, and event logs.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pump.h"
#include "shown_exceptions.h"
#include "simple_tcp.h"
#include "simpletcp_loopback.h"

namespace simpletcp_test {

// One reported error as OnError received it.
struct TReport {
    winapp::TObject* Sender;
    SOCKET Socket;
    int ErrorCode;
    std::string ErrorMsg;
};

class SocketTest : public testing::Test {
  protected:
    void SetUp() override { testsupport::ShownExceptions().clear(); }
    // Anything the exception display would have shown and a test did not expect is a fault.
    void TearDown() override {
        EXPECT_EQ(testsupport::ShownExceptions(), std::vector<std::string>{});
        testsupport::ShownExceptions().clear();
    }
    // Takes the shown messages, so that TearDown sees only unexpected ones.
    static std::vector<std::string> TakeShown() {
        std::vector<std::string> shown;
        shown.swap(testsupport::ShownExceptions());
        return shown;
    }

    simpletcp::TWinsockSession FPeerSession{nullptr};
};

} // namespace simpletcp_test
