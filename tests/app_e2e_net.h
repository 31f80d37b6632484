#pragma once
// Real TCP peers of the relay on 127.0.0.1, as a person's nc or telnet would be.

#include <winsock2.h>

#include <windows.h>

#include <cstdint>
#include <string>

namespace e2e {

// A blocking client connection. Every wait has a timeout.
class TestClient {
  public:
    explicit TestClient(uint16_t port, DWORD timeoutMs = 5000);
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool Connected() const { return FConnected; }
    bool Send(const std::string& bytes);
    // True once the relay has ended the connection (closed or reset) within the time.
    bool WaitForEnd(DWORD timeoutMs);
    // Ends the connection with a reset instead of an orderly close.
    void Reset();

  private:
    SOCKET FSocket = INVALID_SOCKET;
    bool FConnected = false;
};

// Keeps a port taken by a listening socket of the test, on all local addresses.
class PortHolder {
  public:
    explicit PortHolder(uint16_t port);
    ~PortHolder() { Release(); }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

    bool Holding() const { return FSocket != INVALID_SOCKET; }
    void Release();

  private:
    SOCKET FSocket = INVALID_SOCKET;
};

// The first port from `first` on (within a few dozen) that can be listened on now. Test
// ports lie where the system also hands out the local ports of outgoing connections,
// so a fixed one may be briefly taken by some other program's client.
uint16_t FreePortFrom(uint16_t first);

// True when something accepts connections on the port within the time.
bool WaitUntilListening(uint16_t port, DWORD timeoutMs);

} // namespace e2e
