#include "simpletcp_loopback.h"

#include <stdexcept>

#include "pump.h"

namespace simpletcp_test {
namespace {

// This suite's share of the loopback ports; other suites use other ranges.
constexpr uint16_t kFirstPort = 41000;
constexpr uint16_t kPortCount = 1000;

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Readable(SOCKET socket) {
    fd_set set;
    set.fd_count = 1;
    set.fd_array[0] = socket;
    timeval none{0, 0};
    return select(0, &set, nullptr, nullptr, &none) > 0;
}

} // namespace

uint16_t FreeLoopbackPort() {
    // Each process starts elsewhere in the range, so that runs side by side rarely meet.
    static unsigned next = GetCurrentProcessId() % kPortCount;
    for (unsigned tries = 0; tries < kPortCount; ++tries) {
        const auto port = static_cast<uint16_t>(kFirstPort + next++ % kPortCount);
        simpletcp::TSocketHandle probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address = Loopback(port);
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        if (bind(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return port;
    }
    throw std::runtime_error("no free loopback port in the test range");
}

bool TPeer::Connect(uint16_t port) {
    FSocket = simpletcp::TSocketHandle(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    const sockaddr_in address = Loopback(port);
    if (connect(FSocket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        FSocket = simpletcp::TSocketHandle();
        return false;
    }
    return true;
}

void TPeer::Send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const int n =
            send(FSocket.Get(), bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0)
            throw std::runtime_error("send failed: " + std::to_string(WSAGetLastError()));
        sent += static_cast<size_t>(n);
    }
}

void TPeer::Close() {
    FSocket = simpletcp::TSocketHandle();
}

void TPeer::Reset() {
    const linger abortive{1, 0};
    setsockopt(FSocket.Get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive),
               sizeof abortive);
    FSocket = simpletcp::TSocketHandle();
}

// Our components close abortively after a shutdown: the peer reads the end of the
// stream first, and the reset that follows shows only when it sends. So a peer that
// has read the end sends one byte: refused, the connection was reset.
TPeerEnd TPeer::Poll() {
    while (FEnd == TPeerEnd::StillOpen && Readable(FSocket.Get())) {
        char buffer[4096];
        const int n = recv(FSocket.Get(), buffer, sizeof buffer, 0);
        if (n > 0) {
            FReceived.append(buffer, static_cast<size_t>(n));
        } else if (n < 0) {
            FEnd = TPeerEnd::Reset;
        } else {
            const char probe = 0;
            FEnd = send(FSocket.Get(), &probe, 1, 0) == 1 ? TPeerEnd::Closed : TPeerEnd::Reset;
        }
    }
    return FEnd;
}

TPeerEnd TPeer::WaitForEnd(DWORD timeoutMs) {
    testsupport::PumpUntil([this] { return Poll() != TPeerEnd::StillOpen; }, timeoutMs);
    return FEnd;
}

bool TPeer::WaitForBytes(size_t count, DWORD timeoutMs) {
    return testsupport::PumpUntil(
               [this, count] { return Poll() != TPeerEnd::StillOpen || FReceived.size() >= count; },
               timeoutMs) &&
           FReceived.size() >= count;
}

TListener::TListener()
    : FSocket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)), FPort(FreeLoopbackPort()) {
    const sockaddr_in address = Loopback(FPort);
    if (bind(FSocket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(FSocket.Get(), 5) != 0)
        throw std::runtime_error("the test listener could not start");
}

TPeer TListener::Accept(DWORD timeoutMs) {
    if (!testsupport::PumpUntil([this] { return Readable(FSocket.Get()); }, timeoutMs))
        return TPeer();
    return TPeer(simpletcp::TSocketHandle(accept(FSocket.Get(), nullptr, nullptr)));
}

bool TListener::PendingAfter(DWORD ms) {
    testsupport::PumpFor(ms);
    return Readable(FSocket.Get());
}

bool SocketIsClosed(SOCKET socket) {
    int type = 0;
    int length = sizeof type;
    return getsockopt(socket, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) != 0 &&
           WSAGetLastError() == WSAENOTSOCK;
}

} // namespace simpletcp_test
