// The listening server over real loopback connections: start and stop, accept and
// refuse, reading, peer close, port changes.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "simpletcp_server_fixture.h"

namespace {

using simpletcp::TSimpleTCPClient;
using simpletcp::TSimpleTCPServer;
using simpletcp_test::FreeLoopbackPort;
using simpletcp_test::ServerTest;
using simpletcp_test::SocketIsClosed;
using simpletcp_test::TPeer;
using simpletcp_test::TPeerEnd;
using simpletcp_test::TReport;
using testsupport::PumpFor;
using testsupport::PumpUntil;
using winapp::TObject;

TEST_F(ServerTest, ListeningTwiceOrStoppingWhenIdleChangesNothing) {
    FServer.WriteListen(false);
    EXPECT_FALSE(FServer.Listen());
    Listen();
    const SOCKET listening = FServer.SocketHandle();
    ASSERT_NE(listening, INVALID_SOCKET);
    FServer.WriteListen(true);
    EXPECT_EQ(FServer.SocketHandle(), listening);
    TPeer peer = Connect();

    FServer.WriteListen(false);
    EXPECT_FALSE(FServer.Listen());
    EXPECT_EQ(FServer.SocketHandle(), INVALID_SOCKET);
    EXPECT_TRUE(SocketIsClosed(listening));
    FServer.WriteListen(false);
    TPeer late;
    EXPECT_FALSE(late.Connect(FPort));
}

TEST_F(ServerTest, APortInUseIsReportedOnceAndLeavesNoSocketOpen) {
    simpletcp::TSocketHandle holder(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(FPort);
    ASSERT_EQ(bind(holder.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(holder.Get(), 5), 0);

    FServer.OnError = [this](TObject* sender, SOCKET s, int code, const std::string& text) {
        FReports.push_back({sender, s, code, text});
    };
    FServer.WriteListen(true);
    ASSERT_EQ(FReports.size(), 1u);
    EXPECT_EQ(FReports[0].Sender, &FServer);
    EXPECT_EQ(FReports[0].ErrorCode, 10048);
    EXPECT_EQ(FReports[0].ErrorMsg, "Address already in use");
    EXPECT_NE(FReports[0].Socket, INVALID_SOCKET);
    EXPECT_TRUE(SocketIsClosed(FReports[0].Socket));
    EXPECT_FALSE(FServer.Listen());
    EXPECT_EQ(FServer.SocketHandle(), INVALID_SOCKET);

    // Without a handler the report is an exception with exactly the text.
    FServer.OnError = nullptr;
    try {
        FServer.WriteListen(true);
        ADD_FAILURE() << "no exception";
    } catch (const winapp::Exception& e) {
        EXPECT_EQ(e.Message(), "Address already in use");
    }
    EXPECT_FALSE(FServer.Listen());

    FServer.WritePort(FreeLoopbackPort());
    Listen();
    TPeer peer = Connect(FServer.Port());
    EXPECT_EQ(FReports.size(), 1u);
}

TEST_F(ServerTest, AnAcceptedConnectionCarriesThePeersAddressAndTheServersPort) {
    struct {
        TSimpleTCPClient* Client = nullptr;
        bool AcceptOnEntry = false;
        std::string Host;
        uint16_t Port = 0;
        bool Connected = false;
        size_t ListedDuringAccept = 99;
    } seen;
    FServer.OnAccept = [&](TObject* sender, TSimpleTCPClient* client, bool& accept) {
        EXPECT_EQ(sender, &FServer);
        seen = {client,
                accept,
                client->Host(),
                client->Port(),
                client->Connected(),
                FServer.ConnectionCount()};
    };
    Listen();
    TPeer peer = Connect();

    ASSERT_EQ(FConnected.size(), 1u);
    EXPECT_EQ(seen.Client, FConnected[0]);
    EXPECT_TRUE(seen.AcceptOnEntry);
    EXPECT_EQ(seen.Host, "127.0.0.1");
    EXPECT_EQ(seen.Port, FPort);
    EXPECT_TRUE(seen.Connected);
    EXPECT_EQ(seen.ListedDuringAccept, 0u);
    ASSERT_EQ(FServer.ConnectionCount(), 1u);
    EXPECT_EQ(FServer.Connection(0), FConnected[0]);
    EXPECT_NE(FConnected[0]->SocketHandle(), FServer.SocketHandle());
}

TEST_F(ServerTest, ARefusedConnectionIsResetAndNotKept) {
    int accepts = 0;
    FServer.OnAccept = [&](TObject*, TSimpleTCPClient*, bool& accept) {
        ++accepts;
        accept = false;
    };
    Listen();
    TPeer peer;
    ASSERT_TRUE(peer.Connect(FPort));
    EXPECT_EQ(peer.WaitForEnd(), TPeerEnd::Reset);
    EXPECT_EQ(accepts, 1);
    EXPECT_TRUE(FConnected.empty());
    EXPECT_EQ(FServer.ConnectionCount(), 0u);
    EXPECT_TRUE(FServer.Listen());
}

TEST_F(ServerTest, BytesArriveInOneReadWithTheirConnection) {
    Listen();
    TPeer peer = Connect();
    peer.Send("abc");
    ASSERT_TRUE(PumpUntilReads(1));
    PumpFor(100);
    ASSERT_EQ(FReads.size(), 1u);
    EXPECT_EQ(FReads[0].Bytes, "abc");
    EXPECT_EQ(FPositionOnRead[0], 0u);
    EXPECT_EQ(FReads[0].Client, FConnected[0]);
}

TEST_F(ServerTest, EachPeersBytesComeWithItsOwnConnection) {
    Listen();
    TPeer first = Connect();
    TPeer second = Connect();
    ASSERT_EQ(FConnected.size(), 2u);
    second.Send("from the second");
    first.Send("from the first");
    ASSERT_TRUE(PumpUntil([&] {
        size_t bytes = 0;
        for (const auto& read : FReads)
            bytes += read.Bytes.size();
        return bytes == 29;
    }));
    std::map<TSimpleTCPClient*, std::string> byClient;
    for (const auto& read : FReads)
        byClient[read.Client] += read.Bytes;
    EXPECT_EQ(byClient[FConnected[0]], "from the first");
    EXPECT_EQ(byClient[FConnected[1]], "from the second");
}

TEST_F(ServerTest, AGracefulCloseEndsThatConnectionOnce) {
    Listen();
    TPeer first = Connect();
    TPeer second = Connect();
    const HWND firstWindow = FConnected[0]->NotifyWindow();
    first.Close();
    ASSERT_TRUE(PumpUntil([&] { return !FDisconnected.empty(); }));
    PumpFor(200);
    ASSERT_EQ(FDisconnected.size(), 1u);
    EXPECT_EQ(FDisconnected[0], FConnected[0]);
    // Out of the list during the event, and freed after it.
    EXPECT_EQ(FCountDuringDisconnect[0], 1u);
    ASSERT_EQ(FServer.ConnectionCount(), 1u);
    EXPECT_EQ(FServer.Connection(0), FConnected[1]);
    EXPECT_FALSE(IsWindow(firstWindow));
    EXPECT_TRUE(FServer.Listen());
}

TEST_F(ServerTest, StoppingResetsEveryConnectionFromTheLastWithoutDisconnectEvents) {
    Listen();
    TPeer first = Connect();
    TPeer second = Connect();
    std::vector<std::string> order;
    FConnected[0]->OnDisconnected = [&](TObject*) { order.push_back("first"); };
    FConnected[1]->OnDisconnected = [&](TObject*) { order.push_back("second"); };
    const HWND windows[] = {FConnected[0]->NotifyWindow(), FConnected[1]->NotifyWindow()};

    FServer.WriteListen(false);
    EXPECT_EQ(order, (std::vector<std::string>{"second", "first"}));
    EXPECT_EQ(FServer.ConnectionCount(), 0u);
    EXPECT_FALSE(FServer.Listen());
    for (const HWND window : windows)
        EXPECT_FALSE(IsWindow(window)) << "a connection object was not freed";
    EXPECT_EQ(first.WaitForEnd(), TPeerEnd::Reset);
    EXPECT_EQ(second.WaitForEnd(), TPeerEnd::Reset);
    PumpFor(100);
    EXPECT_TRUE(FDisconnected.empty());
}

TEST_F(ServerTest, APortChangeWhileListeningIsRefusedUnlessAllowed) {
    Listen();
    const SOCKET listening = FServer.SocketHandle();
    FServer.WritePort(FPort);
    EXPECT_EQ(FServer.SocketHandle(), listening);

    const uint16_t other = FreeLoopbackPort();
    try {
        FServer.WritePort(other);
        ADD_FAILURE() << "no exception";
    } catch (const winapp::Exception& e) {
        EXPECT_EQ(e.Message(), "Can not change Port while listening");
    }
    EXPECT_EQ(FServer.Port(), FPort);
    EXPECT_TRUE(FServer.Listen());
    EXPECT_EQ(FServer.SocketHandle(), listening);
}

TEST_F(ServerTest, AnAllowedPortChangeResetsTheConnectionsAndListensOnTheNewPort) {
    FServer.SetAllowChangeHostAndPortOnConnection(true);
    Listen();
    TPeer peer = Connect();
    const uint16_t other = FreeLoopbackPort();
    FServer.WritePort(other);
    EXPECT_EQ(FServer.Port(), other);
    EXPECT_TRUE(FServer.Listen());
    EXPECT_EQ(FServer.ConnectionCount(), 0u);
    EXPECT_EQ(peer.WaitForEnd(), TPeerEnd::Reset);
    EXPECT_TRUE(FDisconnected.empty());
    TPeer onNewPort = Connect(other);
    TPeer onOldPort;
    EXPECT_FALSE(onOldPort.Connect(FPort));
}

TEST_F(ServerTest, APortChangeWhileNotListeningIsUsedByTheNextStart) {
    const uint16_t other = FreeLoopbackPort();
    FServer.WritePort(other);
    EXPECT_EQ(FServer.Port(), other);
    EXPECT_FALSE(FServer.Listen());
    Listen();
    TPeer peer = Connect(other);
    EXPECT_EQ(FConnected[0]->Port(), other);
}

TEST_F(ServerTest, InDesignModeListenAndPortOnlyStoreTheirValues) {
    FServer.SetDesigning(true);
    FServer.WriteListen(true);
    EXPECT_TRUE(FServer.Listen());
    EXPECT_EQ(FServer.SocketHandle(), INVALID_SOCKET);
    const uint16_t other = FreeLoopbackPort();
    FServer.WritePort(other);
    EXPECT_EQ(FServer.Port(), other);
    TPeer peer;
    EXPECT_FALSE(peer.Connect(other));
    FServer.WriteListen(false);
    EXPECT_FALSE(FServer.Listen());
}

// A stream that is not a memory stream, so that the receive goes through a buffer.
class TStringStream : public winapp::TStream {
  public:
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t count) override {
        FBytes.append(static_cast<const char*>(buffer), count);
        return count;
    }
    size_t Size() const override { return FBytes.size(); }
    size_t Position() const override { return FBytes.size(); }
    void SetPosition(size_t) override {}
    std::string FBytes;
};

TEST_F(ServerTest, ADataAvailableHandlerTakesOverTheReading) {
    TStringStream taken;
    std::vector<int> announced;
    TSimpleTCPClient* announcedFor = nullptr;
    FServer.OnClientDataAvailable = [&](TObject* sender, TSimpleTCPClient* client, int size) {
        EXPECT_EQ(sender, &FServer);
        announcedFor = client;
        announced.push_back(size);
        EXPECT_EQ(FServer.ReceiveToStream(client->SocketHandle(), &taken, size, false), size);
    };
    Listen();
    TPeer peer = Connect();
    peer.Send("hello");
    ASSERT_TRUE(PumpUntil([&] { return taken.FBytes.size() >= 5; }));
    PumpFor(100);
    EXPECT_EQ(taken.FBytes, "hello");
    int total = 0;
    for (const int size : announced)
        total += size;
    EXPECT_EQ(total, 5);
    EXPECT_EQ(announcedFor, FConnected[0]);
    EXPECT_TRUE(FReads.empty());
}

TEST_F(ServerTest, ReceivingNothingOrANegativeCountTakesNoBytes) {
    int results[2] = {-7, -7};
    FServer.OnClientDataAvailable = [&](TObject*, TSimpleTCPClient* client, int size) {
        TStringStream none;
        results[0] = FServer.ReceiveToStream(client->SocketHandle(), &none, 0, false);
        results[1] = FServer.ReceiveToStream(client->SocketHandle(), &none, -1, false);
        char buffer[16];
        FServer.ReceiveBuffer(client->SocketHandle(), buffer, size, false);
    };
    Listen();
    TPeer peer = Connect();
    peer.Send("x");
    ASSERT_TRUE(PumpUntil([&] { return results[1] != -7; }));
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
}

TEST_F(ServerTest, DestroyingAListeningServerResetsItsConnectionsSilently) {
    auto server = std::make_unique<TSimpleTCPServer>(nullptr);
    int disconnects = 0;
    int connects = 0;
    server->OnClientConnected = [&](TObject*, TSimpleTCPClient*) { ++connects; };
    server->OnClientDisconnected = [&](TObject*, TSimpleTCPClient*) { ++disconnects; };
    server->WritePort(FPort);
    server->WriteListen(true);
    TPeer peer;
    ASSERT_TRUE(peer.Connect(FPort));
    ASSERT_TRUE(PumpUntil([&] { return connects == 1; }));
    const SOCKET listening = server->SocketHandle();
    winapp::TComponent::Free(server.release());
    EXPECT_EQ(peer.WaitForEnd(), TPeerEnd::Reset);
    EXPECT_TRUE(SocketIsClosed(listening));
    EXPECT_EQ(disconnects, 0);
}

TEST_F(ServerTest, AFailingCloseOfTheListeningSocketIsReportedOnceAndKeepsTheSocket) {
    FServer.OnError = [this](TObject* sender, SOCKET s, int code, const std::string& text) {
        FReports.push_back({sender, s, code, text});
    };
    Listen();
    const SOCKET listening = FServer.SocketHandle();
    // Closed behind the server's back, so that its own close fails.
    ASSERT_EQ(closesocket(listening), 0);
    FServer.WriteListen(false);
    ASSERT_EQ(FReports.size(), 1u);
    EXPECT_EQ(FReports[0].Socket, listening);
    EXPECT_EQ(FReports[0].ErrorCode, WSAENOTSOCK);
    EXPECT_TRUE(FServer.Listen());
    EXPECT_EQ(FServer.SocketHandle(), listening);
}

TEST_F(ServerTest, TheLocalHostNameIsReadWithoutAReport) {
    char expected[261] = {};
    ASSERT_EQ(gethostname(expected, 260), 0);
    EXPECT_EQ(FServer.LocalHostName(), expected);
    const hostent* host = gethostbyname(expected);
    std::string expectedIP;
    if (host != nullptr && host->h_addr_list[0] != nullptr)
        expectedIP = inet_ntoa(*reinterpret_cast<const in_addr*>(host->h_addr_list[0]));
    EXPECT_EQ(FServer.LocalIP(), expectedIP);
}

} // namespace
