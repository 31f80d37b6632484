// The server's read drain under load and misbehaving peers: a peer's reset ends only
// its own connection, one drain is bounded, and a reading handler is not asked forever.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "simpletcp_server_fixture.h"

namespace {

using simpletcp::kMaxDrainBytes;
using simpletcp::kWMSocket;
using simpletcp::TSimpleTCPClient;
using simpletcp_test::ServerTest;
using simpletcp_test::SocketIsClosed;
using simpletcp_test::TPeer;
using simpletcp_test::TPeerEnd;
using testsupport::PumpFor;
using testsupport::PumpUntil;
using winapp::TObject;

TEST_F(ServerTest, APeerThatResetsEndsOnlyItsOwnConnection) {
    Listen();
    TPeer resetting = Connect();
    TPeer staying = Connect();
    resetting.Send("before");
    ASSERT_TRUE(PumpUntilReads(1));
    resetting.Reset();
    ASSERT_TRUE(PumpUntil([&] { return !FDisconnected.empty(); }));
    PumpFor(200);

    ASSERT_EQ(FDisconnected.size(), 1u);
    EXPECT_EQ(FDisconnected[0], FConnected[0]);
    EXPECT_TRUE(FServer.Listen());
    ASSERT_EQ(FServer.ConnectionCount(), 1u);
    EXPECT_EQ(FServer.Connection(0), FConnected[1]);
    EXPECT_EQ(FReads[0].Bytes, "before");

    staying.Send("after");
    ASSERT_TRUE(PumpUntilReads(2));
    EXPECT_EQ(FReads[1].Bytes, "after");
    EXPECT_EQ(FReads[1].Client, FConnected[1]);
    TPeer newcomer = Connect();
    EXPECT_EQ(FServer.ConnectionCount(), 2u);
}

// A peer that resets before its connection is accepted: under Wine accept then fails
// with WSAENOTCONN, on Windows it may succeed and the reset follows. Either way only that
// connection is gone: the server keeps listening and shows nothing.
TEST_F(ServerTest, APeerThatResetsBeforeItIsAcceptedDoesNotStopTheServer) {
    Listen();
    for (int i = 0; i < 5; ++i) {
        TPeer early;
        ASSERT_TRUE(early.Connect(FPort));
        early.Reset();
    }
    PumpFor(300);
    EXPECT_TRUE(FServer.Listen());
    EXPECT_TRUE(FReports.empty());

    TPeer later = Connect();
    later.Send("still here");
    ASSERT_TRUE(PumpUntilReads(1));
    EXPECT_EQ(FReads.back().Bytes, "still here");
}

// An error word on a notification: the codes that say one connection is broken end
// that connection alone; any other code, and any code about the listening socket,
// stops the server and is shown. Wine reports a peer's reset as a plain close, so the
// error words that Windows would send are posted here.
TEST_F(ServerTest, AnErrorWordEndsOneConnectionOnlyWhenItSaysThatConnectionIsBroken) {
    const struct {
        WORD Event;
        WORD Code;
        bool OnListeningSocket;
        bool ServerStops;
        const char* Shown;
    } cases[] = {
        {FD_READ, 10052, false, false, nullptr},
        {FD_CLOSE, 10052, false, false, nullptr},
        {FD_READ, 10053, false, false, nullptr},
        {FD_CLOSE, 10053, false, false, nullptr},
        {FD_READ, 10054, false, false, nullptr},
        {FD_CLOSE, 10054, false, false, nullptr},
        {FD_READ, 10060, false, false, nullptr},
        {FD_CLOSE, 10060, false, false, nullptr},
        {FD_READ, 10050, false, true, "Network is down"},
        {FD_CLOSE, 10055, false, true, "No buffer space available"},
        {FD_ACCEPT, 10054, true, true, "Connection reset by peer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "event " << c.Event << ", code " << c.Code);
        FDisconnected.clear();
        Listen();
        TPeer other = Connect();
        TPeer concerned = Connect();
        TSimpleTCPClient* const client = FConnected.back();
        const SOCKET socket = c.OnListeningSocket ? FServer.SocketHandle() : client->SocketHandle();
        PostMessageA(FServer.NotifyWindow(), kWMSocket, socket, MAKELPARAM(c.Event, c.Code));
        if (c.ServerStops) {
            ASSERT_TRUE(PumpUntil([&] { return !FServer.Listen(); }));
            EXPECT_EQ(TakeShown(), std::vector<std::string>{c.Shown});
            EXPECT_EQ(FServer.ConnectionCount(), 0u);
            EXPECT_TRUE(FDisconnected.empty());
            EXPECT_EQ(other.WaitForEnd(), TPeerEnd::Reset);
        } else {
            ASSERT_TRUE(PumpUntil([&] { return !FDisconnected.empty(); }));
            EXPECT_EQ(FDisconnected, std::vector<TSimpleTCPClient*>{client});
            EXPECT_TRUE(FServer.Listen());
            ASSERT_EQ(FServer.ConnectionCount(), 1u);
            EXPECT_NE(FServer.Connection(0), client);
            EXPECT_EQ(other.WaitForEnd(300), TPeerEnd::StillOpen);
            FServer.WriteListen(false);
        }
        EXPECT_EQ(concerned.WaitForEnd(), TPeerEnd::Reset);
    }
}

// A notification queued before its connection ended names a socket that is gone; it
// must neither stop the server nor reach another connection.
TEST_F(ServerTest, ANotificationLeftOverFromAnEndedConnectionIsDropped) {
    Listen();
    TPeer staying = Connect();
    TPeer leaving = Connect();
    const SOCKET gone = FConnected[1]->SocketHandle();
    leaving.Close();
    ASSERT_TRUE(PumpUntil([&] { return !FDisconnected.empty(); }));
    for (const WORD event : {WORD{FD_READ}, WORD{FD_CLOSE}})
        PostMessageA(FServer.NotifyWindow(), kWMSocket, gone, MAKELPARAM(event, 0));
    PostMessageA(FServer.NotifyWindow(), kWMSocket, gone, MAKELPARAM(FD_CLOSE, 10050));
    PumpFor(200);
    EXPECT_TRUE(FServer.Listen());
    EXPECT_EQ(FServer.ConnectionCount(), 1u);
    EXPECT_EQ(FDisconnected.size(), 1u);
}

// A receive inside the drain that finds the connection broken ends it there; the drain
// must stop at once, without touching the freed connection or reading its closed socket.
class TBrokenDuringTheDrain : public simpletcp::TSimpleTCPServer {
  public:
    TBrokenDuringTheDrain() : TSimpleTCPServer(nullptr) {}
    int Passes = 0;

  protected:
    void DoDataAvailable(TSimpleTCPClient* Client, int, bool&) override {
        ++Passes;
        SocketError(Client->SocketHandle(), WSAECONNRESET);
    }
};

TEST_F(ServerTest, AConnectionFoundBrokenDuringADrainEndsThereAndTheDrainStops) {
    TBrokenDuringTheDrain server;
    int connects = 0;
    int reads = 0;
    std::vector<TSimpleTCPClient*> disconnected;
    server.OnClientConnected = [&](TObject*, TSimpleTCPClient*) { ++connects; };
    server.OnClientDisconnected = [&](TObject*, TSimpleTCPClient* client) {
        disconnected.push_back(client);
    };
    server.OnClientRead = [&](TObject*, TSimpleTCPClient*, winapp::TStream*) { ++reads; };
    server.WritePort(FPort);
    server.WriteListen(true);
    TPeer other;
    ASSERT_TRUE(other.Connect(FPort));
    TPeer broken;
    ASSERT_TRUE(broken.Connect(FPort));
    ASSERT_TRUE(PumpUntil([&] { return connects == 2; }));
    TSimpleTCPClient* const brokenClient = server.Connection(1);

    broken.Send("lost");
    ASSERT_TRUE(PumpUntil([&] { return !disconnected.empty(); }));
    PumpFor(200);
    EXPECT_EQ(server.Passes, 1);
    EXPECT_EQ(disconnected, std::vector<TSimpleTCPClient*>{brokenClient});
    EXPECT_EQ(reads, 0);
    EXPECT_TRUE(server.Listen());
    EXPECT_EQ(server.ConnectionCount(), 1u);
    EXPECT_EQ(broken.WaitForEnd(), TPeerEnd::Reset);
    EXPECT_EQ(other.WaitForEnd(200), TPeerEnd::StillOpen);
}

// Bytes that arrive while a drain runs are read by the same drain and delivered with
// the first ones in one read.
class TSecondPartDuringTheDrain : public simpletcp::TSimpleTCPServer {
  public:
    TSecondPartDuringTheDrain() : TSimpleTCPServer(nullptr) {}
    TPeer* Peer = nullptr;
    int Passes = 0;

  protected:
    void DoDataAvailable(TSimpleTCPClient* Client, int DataSize, bool& Handled) override {
        if (++Passes == 1) {
            Peer->Send("def");
            u_long waiting = 0;
            const DWORD start = GetTickCount();
            do {
                Sleep(1);
                ioctlsocket(Client->SocketHandle(), FIONREAD, &waiting);
            } while (waiting <= static_cast<u_long>(DataSize) && GetTickCount() - start < 2000);
        }
        TSimpleTCPServer::DoDataAvailable(Client, DataSize, Handled);
    }
};

TEST_F(ServerTest, BytesArrivingDuringADrainAreDeliveredInTheSameRead) {
    TSecondPartDuringTheDrain server;
    std::vector<std::string> reads;
    server.OnClientRead = [&](TObject*, TSimpleTCPClient*, winapp::TStream* stream) {
        EXPECT_EQ(stream->Position(), 0u);
        std::string bytes(stream->Size(), '\0');
        stream->Read(&bytes[0], bytes.size());
        reads.push_back(bytes);
    };
    server.WritePort(FPort);
    server.WriteListen(true);
    TPeer peer;
    ASSERT_TRUE(peer.Connect(FPort));
    server.Peer = &peer;
    ASSERT_TRUE(PumpUntil([&] { return server.ConnectionCount() == 1; }));
    peer.Send("abc");
    ASSERT_TRUE(PumpUntil([&] { return !reads.empty(); }));
    PumpFor(100);
    EXPECT_EQ(reads, std::vector<std::string>{"abcdef"});
    EXPECT_EQ(server.Passes, 2);
}

TEST_F(ServerTest, AHandlerThatTakesOverButReadsNothingIsNotAskedAgainAndAgain) {
    int calls = 0;
    FServer.OnClientDataAvailable = [&](TObject*, TSimpleTCPClient* client, int size) {
        // Far beyond what the drain may ask: read, so that the test fails instead of hanging.
        if (++calls > 100) {
            std::string sink(static_cast<size_t>(size), '\0');
            FServer.ReceiveBuffer(client->SocketHandle(), &sink[0], size, false);
        }
    };
    Listen();
    TPeer peer = Connect();
    peer.Send("abc");
    ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
    PumpFor(200);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(FReads.empty());
}

TEST_F(ServerTest, AHandlerThatReadsPartOfTheBytesIsAskedUntilAllAreRead) {
    std::vector<int> announced;
    std::string taken;
    FServer.OnClientDataAvailable = [&](TObject*, TSimpleTCPClient* client, int size) {
        announced.push_back(size);
        char byte = 0;
        if (FServer.ReceiveBuffer(client->SocketHandle(), &byte, 1, false) == 1)
            taken += byte;
    };
    Listen();
    TPeer peer = Connect();
    peer.Send("abcd");
    ASSERT_TRUE(PumpUntil([&] { return taken.size() == 4; }));
    PumpFor(100);
    EXPECT_EQ(taken, "abcd");
    EXPECT_EQ(announced, (std::vector<int>{4, 3, 2, 1}));
}

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return bytes;
}

// A burst far larger than the bound: no drain holds more than the bound, and every
// byte arrives in order, in linear time.
TEST_F(ServerTest, OneDrainDeliversAtMostTheBoundAndNothingIsLost) {
    Listen();
    TPeer peer = Connect();
    const std::string burst = Pattern(4 * kMaxDrainBytes + 12345);
    std::atomic<size_t> sent{0};
    std::thread sender([&] {
        constexpr size_t kChunk = 64 * 1024;
        for (size_t at = 0; at < burst.size(); at += kChunk) {
            peer.Send(burst.substr(at, kChunk));
            sent = at + kChunk;
        }
    });
    // Let the burst pile up unread first, so that one drain finds more than the bound.
    size_t seen = 0;
    for (int quiet = 0; quiet < 20 && sent < burst.size(); ++quiet) {
        Sleep(25);
        if (sent != seen)
            quiet = 0;
        seen = sent;
    }
    const auto start = std::chrono::steady_clock::now();
    std::string received;
    std::vector<size_t> sizes;
    FServer.OnClientRead = [&](TObject*, TSimpleTCPClient*, winapp::TStream* stream) {
        sizes.push_back(stream->Size());
        const size_t at = received.size();
        received.resize(at + stream->Size());
        stream->Read(&received[at], stream->Size());
    };
    const bool complete = PumpUntil([&] { return received.size() >= burst.size(); }, 30000);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    sender.join();
    ASSERT_TRUE(complete) << received.size() << " of " << burst.size();
    EXPECT_TRUE(received == burst) << "the bytes differ";
    size_t largest = 0;
    for (const size_t size : sizes) {
        EXPECT_LE(size, kMaxDrainBytes);
        largest = std::max(largest, size);
    }
    EXPECT_EQ(largest, kMaxDrainBytes)
        << "no drain reached the bound; " << sizes.size() << " reads";
    EXPECT_LT(elapsed, std::chrono::seconds(15));
}

} // namespace
