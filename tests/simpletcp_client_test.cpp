// The connection component as an outbound client over real loopback connections:
// connecting, refusal, name look-up, peer close and reconnect, address changes.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "simpletcp_fixture.h"

namespace {

using simpletcp::kReadFullyTimeoutMs;
using simpletcp::kWMSocket;
using simpletcp::TSimpleTCPClient;
using simpletcp_test::FreeLoopbackPort;
using simpletcp_test::SocketIsClosed;
using simpletcp_test::TListener;
using simpletcp_test::TPeer;
using simpletcp_test::TPeerEnd;
using simpletcp_test::TReport;
using testsupport::PumpFor;
using testsupport::PumpUntil;
using winapp::TObject;

// A client aimed at a test listener, whose events go into one log in order.
class ClientTest : public simpletcp_test::SocketTest {
  protected:
    void SetUp() override {
        SocketTest::SetUp();
        Watch(FClient);
        FClient.WriteHost("127.0.0.1");
        FClient.WritePort(FListener.Port());
    }

    void Watch(TSimpleTCPClient& client) {
        client.OnConnected = [this, &client](TObject* sender) {
            EXPECT_EQ(sender, &client);
            FLog.push_back("connected");
        };
        client.OnDisconnected = [this, &client](TObject* sender) {
            EXPECT_EQ(sender, &client);
            EXPECT_FALSE(client.Connected());
            FLog.push_back("disconnected");
        };
    }

    void ReportToLog() {
        FClient.OnError = [this](TObject* sender, SOCKET socket, int code,
                                 const std::string& text) {
            EXPECT_EQ(sender, &FClient);
            FReports.push_back({sender, socket, code, text});
            FLog.push_back("error " + std::to_string(code) + " " + text);
        };
    }

    // Connects the client and accepts its connection at the listener.
    TPeer ConnectClient() {
        FClient.WriteConnected(true);
        TPeer peer = FListener.Accept();
        EXPECT_TRUE(peer.Valid());
        EXPECT_TRUE(PumpUntil([this] { return FClient.Connected(); }));
        FLog.clear();
        return peer;
    }

    bool PumpUntilLogged(const std::string& entry, DWORD timeoutMs = 5000) {
        return PumpUntil(
            [&] {
                for (const auto& logged : FLog) {
                    if (logged == entry)
                        return true;
                }
                return false;
            },
            timeoutMs);
    }

    // The records come before the client, so that they outlive what its destructor does.
    std::vector<std::string> FLog;
    std::vector<TReport> FReports;
    TListener FListener;
    TSimpleTCPClient FClient{nullptr};
};

TEST_F(ClientTest, ConnectedReadsFalseUntilTheConnectionIsEstablished) {
    FClient.WriteConnected(true);
    EXPECT_FALSE(FClient.Connected());
    const SOCKET socket = FClient.SocketHandle();
    ASSERT_NE(socket, INVALID_SOCKET);
    FClient.WriteConnected(true);
    EXPECT_EQ(FClient.SocketHandle(), socket);
    TPeer peer = FListener.Accept();
    ASSERT_TRUE(peer.Valid());
    ASSERT_TRUE(PumpUntilLogged("connected"));
    PumpFor(100);
    EXPECT_TRUE(FClient.Connected());
    EXPECT_EQ(FLog, std::vector<std::string>{"connected"});
    EXPECT_FALSE(FListener.PendingAfter(0));
}

TEST_F(ClientTest, ARefusedConnectionDisconnectsAndThenReports) {
    for (const bool withHandler : {true, false}) {
        SCOPED_TRACE(withHandler ? "with OnError" : "without OnError");
        FLog.clear();
        if (withHandler)
            ReportToLog();
        else
            FClient.OnError = nullptr;
        FClient.WritePort(FreeLoopbackPort());
        FClient.WriteConnected(true);
        ASSERT_TRUE(PumpUntilLogged("disconnected"));
        PumpFor(100);
        if (withHandler) {
            EXPECT_EQ(FLog,
                      (std::vector<std::string>{"disconnected", "error 10061 Connection refused"}));
        } else {
            EXPECT_EQ(FLog, std::vector<std::string>{"disconnected"});
            EXPECT_EQ(TakeShown(), std::vector<std::string>{"Connection refused"});
        }
        EXPECT_FALSE(FClient.Connected());
        EXPECT_EQ(FClient.SocketHandle(), INVALID_SOCKET);
    }
}

TEST_F(ClientTest, AHostNameIsLookedUp) {
    FClient.WriteHost("localhost");
    FClient.WriteConnected(true);
    TPeer peer = FListener.Accept();
    EXPECT_TRUE(peer.Valid());
    EXPECT_TRUE(PumpUntilLogged("connected"));
}

TEST_F(ClientTest, AnUnknownHostNameIsReportedOnceAsABadAddress) {
    ReportToLog();
    FClient.WriteHost("no-such-host.invalid");
    FClient.WriteConnected(true);
    ASSERT_EQ(FReports.size(), 1u);
    EXPECT_EQ(FReports[0].Socket, INVALID_SOCKET);
    EXPECT_EQ(FReports[0].ErrorCode, 10014);
    EXPECT_EQ(FLog, std::vector<std::string>{"error 10014 Bad address"});
    EXPECT_FALSE(FClient.Connected());
    EXPECT_EQ(FClient.SocketHandle(), INVALID_SOCKET);

    // The request was cleared: the next one tries again, and without a handler it raises.
    FClient.OnError = nullptr;
    try {
        FClient.WriteConnected(true);
        ADD_FAILURE() << "no exception";
    } catch (const winapp::Exception& e) {
        EXPECT_EQ(e.Message(), "Bad address");
    }
}

TEST_F(ClientTest, APeerCloseDisconnectsOnceAndReconnectsOnlyWhenAsked) {
    for (const bool reconnect : {false, true}) {
        SCOPED_TRACE(reconnect ? "AutoTryReconnect" : "no AutoTryReconnect");
        FClient.SetAutoTryReconnect(reconnect);
        TPeer peer = ConnectClient();
        bool connectedAfterDisconnect = true;
        FClient.OnDisconnected = [&](TObject*) {
            FLog.push_back("disconnected");
            connectedAfterDisconnect = FClient.Connected();
        };
        peer.Close();
        ASSERT_TRUE(PumpUntilLogged("disconnected"));
        EXPECT_FALSE(connectedAfterDisconnect);
        if (reconnect) {
            TPeer again = FListener.Accept();
            EXPECT_TRUE(again.Valid());
            ASSERT_TRUE(PumpUntilLogged("connected"));
            EXPECT_TRUE(FClient.Connected());
            EXPECT_EQ(FLog, (std::vector<std::string>{"disconnected", "connected"}));
            FClient.SetAutoTryReconnect(false);
            FClient.WriteConnected(false);
        } else {
            EXPECT_FALSE(FListener.PendingAfter(300));
            EXPECT_EQ(FLog, std::vector<std::string>{"disconnected"});
            EXPECT_FALSE(FClient.Connected());
        }
        Watch(FClient);
    }
}

// Wine reports a peer's reset as a plain close, so the error words that Windows sends
// for one are posted here.
TEST_F(ClientTest, AResetIsReportedAfterTheDisconnectAndNeverRetried) {
    ReportToLog();
    FClient.SetAutoTryReconnect(true);
    for (const WORD event : {WORD{FD_CLOSE}, WORD{FD_READ}}) {
        SCOPED_TRACE(testing::Message() << "event " << event);
        TPeer peer = ConnectClient();
        PostMessageA(FClient.NotifyWindow(), kWMSocket, FClient.SocketHandle(),
                     MAKELPARAM(event, WSAECONNRESET));
        ASSERT_TRUE(PumpUntilLogged("error 10054 Connection reset by peer"));
        EXPECT_EQ(FLog, (std::vector<std::string>{"disconnected",
                                                  "error 10054 Connection reset by peer"}));
        EXPECT_EQ(peer.WaitForEnd(), TPeerEnd::Reset);
        EXPECT_FALSE(FListener.PendingAfter(200));
        EXPECT_FALSE(FClient.Connected());
    }
}

TEST_F(ClientTest, SettingConnectedFalseClosesAbortivelyAndIdleDoesNothing) {
    FClient.WriteConnected(false);
    EXPECT_TRUE(FLog.empty());
    TPeer peer = ConnectClient();
    FClient.WriteConnected(false);
    EXPECT_EQ(FLog, std::vector<std::string>{"disconnected"});
    EXPECT_FALSE(FClient.Connected());
    EXPECT_EQ(peer.WaitForEnd(), TPeerEnd::Reset);
    FClient.WriteConnected(false);
    EXPECT_EQ(FLog.size(), 1u);
}

TEST_F(ClientTest, FreeingAConnectedClientRaisesNoDisconnect) {
    auto client = std::make_unique<TSimpleTCPClient>(nullptr);
    Watch(*client);
    client->WriteHost("127.0.0.1");
    client->WritePort(FListener.Port());
    client->WriteConnected(true);
    TPeer peer = FListener.Accept();
    ASSERT_TRUE(PumpUntilLogged("connected"));
    winapp::TComponent::Free(client.release());
    EXPECT_EQ(peer.WaitForEnd(), TPeerEnd::Reset);
    EXPECT_EQ(FLog, std::vector<std::string>{"connected"});
}

TEST_F(ClientTest, TheSameHostOrPortWhileConnectedChangesNothing) {
    for (const bool allowed : {false, true}) {
        SCOPED_TRACE(allowed ? "changes allowed" : "changes refused");
        FClient.SetAllowChangeHostAndPortOnConnection(allowed);
        TPeer peer = ConnectClient();
        const SOCKET socket = FClient.SocketHandle();
        FClient.WriteHost("127.0.0.1");
        FClient.WritePort(FListener.Port());
        PumpFor(100);
        EXPECT_TRUE(FLog.empty());
        EXPECT_EQ(FClient.SocketHandle(), socket);
        EXPECT_TRUE(FClient.Connected());
        FClient.WriteConnected(false);
    }
}

TEST_F(ClientTest, ANewHostOrPortWhileConnectedIsRefusedUnlessAllowed) {
    TPeer peer = ConnectClient();
    const struct {
        const char* What;
        void (*Change)(TSimpleTCPClient&);
        const char* Message;
    } cases[] = {
        {"host", [](TSimpleTCPClient& c) { c.WriteHost("localhost"); },
         "Can not change Host while connected"},
        {"port", [](TSimpleTCPClient& c) { c.WritePort(static_cast<uint16_t>(c.Port() + 1)); },
         "Can not change Port while connected"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        try {
            c.Change(FClient);
            ADD_FAILURE() << "no exception";
        } catch (const winapp::Exception& e) {
            EXPECT_EQ(e.Message(), c.Message);
        }
        EXPECT_EQ(FClient.Host(), "127.0.0.1");
        EXPECT_EQ(FClient.Port(), FListener.Port());
        EXPECT_TRUE(FClient.Connected());
    }
    EXPECT_TRUE(FLog.empty());
}

TEST_F(ClientTest, AnAllowedChangeWhileConnectedReconnectsToTheNewAddress) {
    FClient.SetAllowChangeHostAndPortOnConnection(true);
    TPeer first = ConnectClient();
    TListener second;
    FClient.WritePort(second.Port());
    EXPECT_EQ(FLog, std::vector<std::string>{"disconnected"});
    EXPECT_EQ(first.WaitForEnd(), TPeerEnd::Reset);
    TPeer onSecond = second.Accept();
    EXPECT_TRUE(onSecond.Valid());
    ASSERT_TRUE(PumpUntilLogged("connected"));

    FLog.clear();
    FClient.WriteHost("localhost");
    EXPECT_EQ(FLog, std::vector<std::string>{"disconnected"});
    TPeer again = second.Accept();
    EXPECT_TRUE(again.Valid());
    EXPECT_TRUE(PumpUntilLogged("connected"));
}

TEST_F(ClientTest, ANewAddressWhileOnlyConnectingIsStoredAndThePendingAttemptGoesOn) {
    FClient.WriteConnected(true);
    const uint16_t other = FreeLoopbackPort();
    FClient.WritePort(other);
    FClient.WriteHost("localhost");
    EXPECT_EQ(FClient.Port(), other);
    EXPECT_EQ(FClient.Host(), "localhost");
    TPeer peer = FListener.Accept();
    EXPECT_TRUE(peer.Valid());
    ASSERT_TRUE(PumpUntilLogged("connected"));
    EXPECT_EQ(FLog, std::vector<std::string>{"connected"});
}

TEST_F(ClientTest, InDesignModeAddressesAreStoredAndConnectingIsRefused) {
    FClient.SetDesigning(true);
    FClient.WriteHost("anything at all");
    FClient.WritePort(7);
    EXPECT_EQ(FClient.Host(), "anything at all");
    EXPECT_EQ(FClient.Port(), 7);
    FClient.WriteConnected(false);
    try {
        FClient.WriteConnected(true);
        ADD_FAILURE() << "no exception";
    } catch (const winapp::Exception& e) {
        EXPECT_EQ(e.Message(), "Can not connect at design-time");
    }
    EXPECT_EQ(FClient.SocketHandle(), INVALID_SOCKET);
}

TEST_F(ClientTest, ReceivedBytesAreReadOrTakenOverByTheDataAvailableHandler) {
    for (const bool takeOver : {false, true}) {
        SCOPED_TRACE(takeOver ? "OnDataAvailable assigned" : "OnRead only");
        std::string read;
        std::string taken;
        FClient.OnRead = [&](TObject* sender, winapp::TStream* stream) {
            EXPECT_EQ(sender, &FClient);
            EXPECT_EQ(stream->Position(), 0u);
            const size_t at = read.size();
            read.resize(at + stream->Size());
            stream->Read(&read[at], stream->Size());
        };
        FClient.OnDataAvailable = nullptr;
        if (takeOver) {
            FClient.OnDataAvailable = [&](TObject* sender, int size) {
                EXPECT_EQ(sender, &FClient);
                std::string bytes(static_cast<size_t>(size), '\0');
                const int n = FClient.ReceiveBuffer(FClient.SocketHandle(), &bytes[0], size, false);
                taken += bytes.substr(0, static_cast<size_t>(n > 0 ? n : 0));
            };
        }
        TPeer peer = ConnectClient();
        peer.Send(std::string("ab\0cd", 5));
        ASSERT_TRUE(PumpUntil([&] { return read.size() + taken.size() >= 5; }));
        PumpFor(100);
        EXPECT_EQ(takeOver ? taken : read, std::string("ab\0cd", 5));
        EXPECT_TRUE((takeOver ? read : taken).empty());
        FClient.WriteConnected(false);
    }
}

TEST_F(ClientTest, AFailingCloseIsReportedOnceAndKeepsTheSocket) {
    ReportToLog();
    TPeer peer = ConnectClient();
    const SOCKET socket = FClient.SocketHandle();
    // Closed behind the client's back, so that its own close fails.
    ASSERT_EQ(closesocket(socket), 0);
    FClient.WriteConnected(false);
    ASSERT_EQ(FReports.size(), 1u);
    EXPECT_EQ(FReports[0].Socket, socket);
    EXPECT_EQ(FReports[0].ErrorCode, WSAENOTSOCK);
    EXPECT_EQ(FLog, std::vector<std::string>{"error 10038 Socket operation on non-socket"});
    EXPECT_EQ(FClient.SocketHandle(), socket);
    EXPECT_TRUE(FClient.Connected());
    FClient.WriteConnected(false);
    EXPECT_EQ(FReports.size(), 1u);
}

// A receive that waits for all of its bytes: it gets the rest when it comes, stops at
// the peer's close, and gives up after its time limit.
TEST_F(ClientTest, AReadFullyReceiveWaitsForTheRestButNotForever) {
    const struct {
        const char* What;
        const char* Rest;
        bool CloseAfterFirst;
        int Expected;
        DWORD AtLeastMs;
        DWORD AtMostMs;
    } cases[] = {
        {"the rest comes later", "def", false, 6, 250, 2500},
        {"the peer closes", nullptr, true, 3, 0, 2500},
        {"the peer stays silent", nullptr, false, 3, kReadFullyTimeoutMs - 100,
         kReadFullyTimeoutMs + 3000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        int result = -7;
        std::string bytes(6, '\0');
        DWORD elapsed = 0;
        FClient.OnDataAvailable = [&](TObject*, int) {
            if (result != -7)
                return;
            const DWORD start = GetTickCount();
            result = FClient.ReceiveBuffer(FClient.SocketHandle(), &bytes[0], 6, true);
            elapsed = GetTickCount() - start;
        };
        TPeer peer = ConnectClient();
        peer.Send("abc");
        std::thread later([&] {
            Sleep(300);
            if (c.Rest != nullptr)
                peer.Send(c.Rest);
        });
        if (c.CloseAfterFirst)
            peer.Close();
        ASSERT_TRUE(PumpUntil([&] { return result != -7; }, 10000));
        later.join();
        EXPECT_EQ(result, c.Expected);
        EXPECT_EQ(bytes.substr(0, static_cast<size_t>(c.Expected)),
                  std::string("abcdef").substr(0, static_cast<size_t>(c.Expected)));
        EXPECT_GE(elapsed, c.AtLeastMs);
        EXPECT_LE(elapsed, c.AtMostMs);
        FClient.WriteConnected(false);
        Watch(FClient);
    }
}

} // namespace
