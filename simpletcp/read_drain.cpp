// The read drain and the receive operations of the socket component base.

#include <algorithm>
#include <climits>
#include <vector>

#include "custom_simple_socket.h"
#include "simple_tcp_client.h"

namespace simpletcp {
namespace {

// Waits until `socket` is readable or `deadline` (a GetTickCount value) has passed;
// false only when the time ran out. A failing select counts as readable, so that the
// receive that follows reports the failure.
bool WaitReadable(SOCKET socket, DWORD deadline) {
    const DWORD now = GetTickCount();
    const auto left = static_cast<LONG>(deadline - now);
    if (left <= 0)
        return false;
    fd_set readable;
    readable.fd_count = 1;
    readable.fd_array[0] = socket;
    timeval timeout{left / 1000, (left % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &timeout) != 0;
}

int ClampToInt(u_long count) {
    return static_cast<int>(std::min<u_long>(count, static_cast<u_long>(INT_MAX)));
}

} // namespace

// One FD_READ: everything waiting on `socket` goes into one memory stream, which is
// delivered in one DoRead. A server's accepted sockets keep the listening socket's
// registration (Windows Sockets passes it on at accept), so their notifications arrive
// here on the server's window, and the socket in WParam names the connection.
void TCustomSimpleSocket::DrainSocket(SOCKET socket) {
    TSimpleTCPClient* const client = FindConnection(socket);
    // A handler may free this component, end the connection or close its socket, and
    // a nested message loop may do the same; the drain then stops without touching them.
    const std::weak_ptr<const bool> lifetime = FLifetime;
    const auto stillDraining = [&] {
        return !lifetime.expired() && FindConnection(socket) == client && HoldsSocket(socket);
    };

    winapp::TMemoryStream stream;
    bool handled = false;
    u_long handledCount = 0;
    size_t taken = 0;
    while (taken < kMaxDrainBytes) {
        u_long count = 0;
        if (ioctlsocket(socket, FIONREAD, &count) == SOCKET_ERROR) {
            SocketError(socket, WSAGetLastError());
            return;
        }
        if (count == 0)
            break;
        // A handler that took over the last pass but left its bytes waiting would be
        // asked again for ever.
        if (handled && count >= handledCount)
            break;
        handled = false;
        DoDataAvailable(client, ClampToInt(count), handled);
        if (!stillDraining())
            return;
        if (handled) {
            handledCount = count;
            taken += count;
            continue;
        }
        // The last pass of a drain takes only what still fits under the bound.
        const size_t size = std::min<size_t>(count, kMaxDrainBytes - taken);
        ReceiveToStream(socket, &stream, static_cast<int>(size), false);
        if (!stillDraining())
            return;
        taken += size;
    }
    if (handled || stream.Size() == 0)
        return;
    stream.SetPosition(0);
    DoRead(client, &stream);
}

int TCustomSimpleSocket::ReceiveToStream(SOCKET Socket, winapp::TStream* Stream, int Size,
                                         bool ReadFully) {
    if (Size <= 0)
        return 0;
    const auto size = static_cast<size_t>(Size);
    if (auto* memory = dynamic_cast<winapp::TMemoryStream*>(Stream)) {
        // Straight into the stream's memory: each byte is copied once, by recv.
        char* region = memory->BeginWrite(size);
        const int received = ReceiveBuffer(Socket, region, Size, ReadFully);
        memory->EndWrite(received > 0 ? static_cast<size_t>(received) : 0);
        return received;
    }
    std::vector<char> buffer(size);
    const int received = ReceiveBuffer(Socket, buffer.data(), Size, ReadFully);
    if (received > 0)
        Stream->Write(buffer.data(), static_cast<size_t>(received));
    return received;
}

int TCustomSimpleSocket::ReceiveBuffer(SOCKET Socket, void* Buffer, int Size, bool ReadFully) {
    char* const bytes = static_cast<char*>(Buffer);
    int received = recv(Socket, bytes, Size, 0);
    if (received == SOCKET_ERROR) {
        SocketError(Socket, WSAGetLastError());
        return -1;
    }
    if (!ReadFully)
        return received;
    // The rest is waited for on the GUI thread, so the wait ends when the peer closes
    // or after kReadFullyTimeoutMs, whichever comes first.
    const DWORD deadline = GetTickCount() + kReadFullyTimeoutMs;
    while (received < Size) {
        u_long waiting = 0;
        if (ioctlsocket(Socket, FIONREAD, &waiting) == SOCKET_ERROR) {
            SocketError(Socket, WSAGetLastError());
            return received;
        }
        if (waiting == 0 && !WaitReadable(Socket, deadline))
            return received;
        const int more = recv(Socket, bytes + received, Size - received, 0);
        if (more == SOCKET_ERROR) {
            SocketError(Socket, WSAGetLastError());
            return received;
        }
        if (more == 0)
            return received;
        received += more;
    }
    return received;
}

} // namespace simpletcp
