#pragma once
// A server on a free loopback port whose events are recorded, for the server tests.

#include <string>
#include <vector>

#include "simpletcp_fixture.h"

namespace simpletcp_test {

using simpletcp::TSimpleTCPClient;
using simpletcp::TSimpleTCPServer;
using testsupport::PumpUntil;
using winapp::TObject;

// A listening-ready server on a free port, whose events are counted and logged.
class ServerTest : public SocketTest {
  protected:
    void SetUp() override {
        SocketTest::SetUp();
        FServer.WritePort(FPort);
        FServer.OnClientConnected = [this](TObject*, TSimpleTCPClient* client) {
            FConnected.push_back(client);
        };
        FServer.OnClientDisconnected = [this](TObject* sender, TSimpleTCPClient* client) {
            EXPECT_EQ(sender, &FServer);
            FDisconnected.push_back(client);
            FCountDuringDisconnect.push_back(FServer.ConnectionCount());
        };
        FServer.OnClientRead = [this](TObject*, TSimpleTCPClient* client, winapp::TStream* stream) {
            std::string bytes(stream->Size(), '\0');
            FPositionOnRead.push_back(stream->Position());
            stream->Read(&bytes[0], bytes.size());
            FReads.push_back({client, bytes});
        };
    }

    void Listen() {
        FServer.WriteListen(true);
        ASSERT_TRUE(FServer.Listen());
    }

    // A peer whose connection the server has accepted and announced.
    TPeer Connect(uint16_t port = 0) {
        TPeer peer;
        const size_t before = FConnected.size();
        EXPECT_TRUE(peer.Connect(port == 0 ? FPort : port));
        EXPECT_TRUE(PumpUntil([&] { return FConnected.size() > before; }));
        return peer;
    }

    bool PumpUntilReads(size_t count) {
        return PumpUntil([&] { return FReads.size() >= count; });
    }

    struct TRead {
        TSimpleTCPClient* Client;
        std::string Bytes;
    };

    // The records come before the server, so that they outlive what the server's
    // destructor may still report.
    std::vector<TSimpleTCPClient*> FConnected;
    std::vector<TSimpleTCPClient*> FDisconnected;
    std::vector<size_t> FCountDuringDisconnect;
    std::vector<TRead> FReads;
    std::vector<size_t> FPositionOnRead;
    std::vector<TReport> FReports;
    uint16_t FPort = FreeLoopbackPort();
    TSimpleTCPServer FServer{nullptr};
};

} // namespace simpletcp_test
