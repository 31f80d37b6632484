#pragma once
// The far ends of the socket component tests: plain blocking Winsock sockets on the
// loopback interface, driven from the test while it pumps the components' messages.

#include <windows.h>
#include <winsock.h>

#include <cstdint>
#include <string>

#include "socket_handle.h"
#include "winsock_session.h"

namespace simpletcp_test {

// A loopback port in this suite's range on which nothing listens right now.
uint16_t FreeLoopbackPort();

// How a peer saw its connection end.
enum class TPeerEnd { Reset, Closed, StillOpen };

// One connection made by or to the test.
class TPeer {
  public:
    TPeer() = default;
    explicit TPeer(simpletcp::TSocketHandle socket) : FSocket(std::move(socket)) {}

    // Connects to 127.0.0.1:port; false when refused.
    bool Connect(uint16_t port);
    bool Valid() const { return FSocket.Valid(); }
    SOCKET Handle() const { return FSocket.Get(); }

    void Send(const std::string& bytes);
    // A graceful close: the other end sees the end of the stream.
    void Close();
    // An abortive close: the other end sees a reset.
    void Reset();
    // Pumps messages until the other end has ended the connection or `timeoutMs` has
    // passed; bytes that arrive meanwhile go to Received().
    TPeerEnd WaitForEnd(DWORD timeoutMs = 5000);
    // Pumps messages until `count` bytes have arrived; false on timeout.
    bool WaitForBytes(size_t count, DWORD timeoutMs = 5000);
    const std::string& Received() const { return FReceived; }

  private:
    // Reads what waits without blocking; the end it met, if any.
    TPeerEnd Poll();

    simpletcp::TSocketHandle FSocket;
    std::string FReceived;
    TPeerEnd FEnd = TPeerEnd::StillOpen;
};

// A blocking listening socket on 127.0.0.1, for the outbound client to connect to.
class TListener {
  public:
    TListener();
    uint16_t Port() const { return FPort; }
    // Pumps messages until a connection is waiting and accepts it; an invalid peer on timeout.
    TPeer Accept(DWORD timeoutMs = 5000);
    // Whether a connection is waiting to be accepted, after pumping for `ms`.
    bool PendingAfter(DWORD ms);

  private:
    simpletcp::TSocketHandle FSocket;
    uint16_t FPort = 0;
};

// True when `socket` is no longer an open socket.
bool SocketIsClosed(SOCKET socket);

} // namespace simpletcp_test
