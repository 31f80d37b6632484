#include "app_e2e_net.h"

namespace e2e {

namespace {

// One Windows Sockets session for the whole test program.
struct WinsockSession {
    WinsockSession() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockSession() { WSACleanup(); }
};

void EnsureWinsock() {
    static const WinsockSession session;
}

sockaddr_in Address(uint32_t host, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(host);
    return address;
}

} // namespace

TestClient::TestClient(uint16_t port, DWORD timeoutMs) {
    EnsureWinsock();
    FSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (FSocket == INVALID_SOCKET)
        return;
    // Non-blocking for the connect alone, so that it can be given a time limit.
    u_long nonBlocking = 1;
    ioctlsocket(FSocket, FIONBIO, &nonBlocking);
    const sockaddr_in address = Address(INADDR_LOOPBACK, port);
    connect(FSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(FSocket, &writable);
    fd_set failed = writable;
    timeval limit{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
    if (select(0, nullptr, &writable, &failed, &limit) == 1 && FD_ISSET(FSocket, &writable))
        FConnected = true;
    nonBlocking = 0;
    ioctlsocket(FSocket, FIONBIO, &nonBlocking);
}

TestClient::~TestClient() {
    if (FSocket != INVALID_SOCKET)
        closesocket(FSocket);
}

bool TestClient::Send(const std::string& bytes) {
    const char* data = bytes.data();
    int left = static_cast<int>(bytes.size());
    while (left > 0) {
        const int sent = send(FSocket, data, left, 0);
        if (sent <= 0)
            return false;
        data += sent;
        left -= sent;
    }
    return true;
}

bool TestClient::WaitForEnd(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        const DWORD left = timeoutMs - elapsed;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(FSocket, &readable);
        timeval limit{static_cast<long>(left / 1000), static_cast<long>(left % 1000) * 1000};
        if (select(0, &readable, nullptr, nullptr, &limit) != 1)
            return false;
        char byte;
        // The relay never sends: anything readable is the end of the connection.
        if (recv(FSocket, &byte, 1, 0) <= 0)
            return true;
    }
}

void TestClient::Reset() {
    linger abortive{1, 0};
    setsockopt(FSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive),
               sizeof abortive);
    closesocket(FSocket);
    FSocket = INVALID_SOCKET;
    FConnected = false;
}

PortHolder::PortHolder(uint16_t port) {
    EnsureWinsock();
    FSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const sockaddr_in address = Address(INADDR_ANY, port);
    if (FSocket != INVALID_SOCKET &&
        (bind(FSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
         listen(FSocket, 5) != 0))
        Release();
}

void PortHolder::Release() {
    if (FSocket != INVALID_SOCKET)
        closesocket(FSocket);
    FSocket = INVALID_SOCKET;
}

uint16_t FreePortFrom(uint16_t first) {
    constexpr uint16_t kTries = 40;
    for (uint16_t port = first; port < first + kTries; ++port)
        if (PortHolder(port).Holding())
            return port;
    return first;
}

bool WaitUntilListening(uint16_t port, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    do {
        if (TestClient(port, 500).Connected())
            return true;
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

} // namespace e2e
