// The socket component base: decoding of socket notifications, the window procedure's
// answers and guard, and the Windows Sockets session.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simpletcp_fixture.h"

namespace {

using simpletcp::kWMSocket;
using simpletcp::TSimpleTCPClient;
using simpletcp::TSimpleTCPServer;
using simpletcp_test::TListener;
using simpletcp_test::TPeer;
using testsupport::PumpUntil;
using winapp::TObject;

// Records which operation each notification reaches, instead of acting on it.
class TNotificationProbe : public simpletcp::TCustomSimpleSocket {
  public:
    TNotificationProbe() : TCustomSimpleSocket(nullptr) {}
    void Hold(SOCKET socket) { FSocket = simpletcp::TSocketHandle(socket); }
    std::vector<std::string> Calls;

  protected:
    std::string Which(SOCKET socket) const { return socket == FSocket.Get() ? "own" : "other"; }
    void SocketError(SOCKET Socket, int ErrorCode) override {
        Calls.push_back("error " + std::to_string(ErrorCode) + " " + Which(Socket));
    }
    void DoAccept() override { Calls.push_back("accept"); }
    void DoConnect() override { Calls.push_back("connect"); }
    void DoPeerClose(SOCKET Socket) override { Calls.push_back("close " + Which(Socket)); }
    void DoDataAvailable(TSimpleTCPClient* Client, int DataSize, bool&) override {
        Calls.push_back("data " + std::to_string(DataSize) + (Client ? " client" : " nil"));
    }
    void DoRead(TSimpleTCPClient*, winapp::TStream* Stream) override {
        Calls.push_back("read " + std::to_string(Stream->Size()) + " at " +
                        std::to_string(Stream->Position()));
    }
};

class NotificationTest : public simpletcp_test::SocketTest {
  protected:
    void SetUp() override {
        SocketTest::SetUp();
        const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(FListener.Port());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        FProbe.Hold(socket);
        FFarEnd = FListener.Accept();
        ASSERT_TRUE(FFarEnd.Valid());
    }

    std::vector<std::string> Notify(WORD event, WORD error) {
        FProbe.Calls.clear();
        SendMessageA(FProbe.NotifyWindow(), kWMSocket, FProbe.SocketHandle(),
                     MAKELPARAM(event, error));
        return FProbe.Calls;
    }

    TListener FListener;
    TPeer FFarEnd;
    TNotificationProbe FProbe;
};

using TCalls = std::vector<std::string>;

TEST_F(NotificationTest, TheErrorWordComesFirstThenTheEventIsDispatched) {
    const struct {
        WORD Event;
        WORD Error;
        TCalls Expected;
    } cases[] = {
        {FD_ACCEPT, 0, {"accept"}},
        {FD_CONNECT, 0, {"connect"}},
        {FD_CLOSE, 0, {"close own"}},
        {FD_READ, 0, {}},
        {FD_ACCEPT, 10000, {"accept"}},
        {FD_ACCEPT, 10001, {"error 10001 own"}},
        {FD_CONNECT, 10061, {"error 10061 own"}},
        {FD_CLOSE, 10054, {"error 10054 own"}},
        {FD_READ, 10053, {"error 10053 own"}},
        {FD_READ, 65535, {"error 65535 own"}},
        {0, 0, {}},
        {2, 0, {}},
        {4, 0, {}},
        {64, 0, {}},
        {FD_READ | FD_CLOSE, 0, {}},
        {0xFFFF, 0, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Notify(c.Event, c.Error), c.Expected)
            << "event " << c.Event << ", error " << c.Error;
}

TEST_F(NotificationTest, AReadDrainsWhatWaitsIntoOneStreamAtPositionZero) {
    FFarEnd.Send("xyz");
    u_long waiting = 0;
    ASSERT_TRUE(PumpUntil([&] {
        ioctlsocket(FProbe.SocketHandle(), FIONREAD, &waiting);
        return waiting == 3;
    }));
    EXPECT_EQ(Notify(FD_READ, 0), (TCalls{"data 3 nil", "read 3 at 0"}));
    EXPECT_EQ(Notify(FD_READ, 0), TCalls{});
}

TEST_F(NotificationTest, ANotificationForASocketTheComponentDoesNotHoldIsDropped) {
    for (const SOCKET socket : {INVALID_SOCKET, FFarEnd.Handle()}) {
        FProbe.Calls.clear();
        for (const WORD event : {WORD{FD_ACCEPT}, WORD{FD_CONNECT}, WORD{FD_CLOSE}, WORD{FD_READ}})
            SendMessageA(FProbe.NotifyWindow(), kWMSocket, socket, MAKELPARAM(event, 0));
        SendMessageA(FProbe.NotifyWindow(), kWMSocket, socket, MAKELPARAM(FD_CLOSE, 10054));
        EXPECT_EQ(FProbe.Calls, TCalls{});
    }
}

TEST_F(NotificationTest, TheWindowAnswersOnlyTheEndOfSessionQuery) {
    EXPECT_EQ(SendMessageA(FProbe.NotifyWindow(), WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_EQ(SendMessageA(FProbe.NotifyWindow(), WM_USER + 7, 1, 2), 0);
    EXPECT_EQ(
        SendMessageA(FProbe.NotifyWindow(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("ignored")), 0);
    EXPECT_EQ(SendMessageA(FProbe.NotifyWindow(), kWMSocket, FProbe.SocketHandle(),
                           MAKELPARAM(FD_ACCEPT, 0)),
              0);
}

// An operation a class does not supply raises "Abstract Error"; reached through a
// notification it is shown, and the component goes on working.
TEST_F(NotificationTest, AnOperationAClassDoesNotSupplyRaisesAbstractError) {
    TSimpleTCPServer server(nullptr);
    server.WritePort(simpletcp_test::FreeLoopbackPort());
    server.WriteListen(true);
    SendMessageA(server.NotifyWindow(), kWMSocket, server.SocketHandle(),
                 MAKELPARAM(FD_CONNECT, 0));
    EXPECT_EQ(TakeShown(), std::vector<std::string>{"Abstract Error"});
    EXPECT_TRUE(server.Listen());
    EXPECT_THROW(server.WriteHost("somewhere"), winapp::EAbstractError);

    TSimpleTCPClient client(nullptr);
    client.WriteHost("127.0.0.1");
    client.WritePort(FListener.Port());
    client.WriteConnected(true);
    SendMessageA(client.NotifyWindow(), kWMSocket, client.SocketHandle(), MAKELPARAM(FD_ACCEPT, 0));
    EXPECT_EQ(TakeShown(), std::vector<std::string>{"Abstract Error"});
}

TEST_F(NotificationTest, AnExceptionFromAHandlerIsShownAndTheServerGoesOn) {
    TSimpleTCPServer server(nullptr);
    const uint16_t port = simpletcp_test::FreeLoopbackPort();
    std::vector<std::string> reads;
    server.OnClientRead = [&](TObject*, TSimpleTCPClient*, winapp::TStream* stream) {
        std::string bytes(stream->Size(), '\0');
        stream->Read(&bytes[0], bytes.size());
        reads.push_back(bytes);
        if (bytes == "first")
            throw winapp::Exception("the handler failed");
    };
    server.WritePort(port);
    server.WriteListen(true);
    TPeer peer;
    ASSERT_TRUE(peer.Connect(port));
    peer.Send("first");
    ASSERT_TRUE(PumpUntil([&] { return !reads.empty(); }));
    EXPECT_EQ(TakeShown(), std::vector<std::string>{"the handler failed"});
    peer.Send("second");
    ASSERT_TRUE(PumpUntil([&] { return reads.size() == 2; }));
    EXPECT_EQ(reads[1], "second");
    EXPECT_TRUE(server.Listen());
}

// Runs without any other session open, so that the component's own WSACleanup is the
// one that fails.
TEST(SocketSession, AFailingCleanupIsShownAndTheWindowIsReleasedAnyway) {
    testsupport::ShownExceptions().clear();
    auto* client = new TSimpleTCPClient(nullptr);
    const HWND window = client->NotifyWindow();
    ASSERT_TRUE(IsWindow(window));
    ASSERT_EQ(WSACleanup(), 0);
    winapp::TComponent::Free(client);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(testsupport::ShownExceptions(),
              std::vector<std::string>{"Can not clean socket session"});
    testsupport::ShownExceptions().clear();
}

TEST(SocketSession, AnOwnerFreesItsSocketComponents) {
    testsupport::ShownExceptions().clear();
    auto* owner = new winapp::TComponent(nullptr);
    auto* client = new TSimpleTCPClient(owner);
    const HWND window = client->NotifyWindow();
    ASSERT_EQ(owner->Components().size(), 1u);
    winapp::TComponent::Free(owner);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(testsupport::ShownExceptions().empty());
}

} // namespace
