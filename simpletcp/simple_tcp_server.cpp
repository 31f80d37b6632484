#include "simple_tcp_server.h"

#include <algorithm>
#include <cstring>

#include "application.h"
#include "error_text.h"
#include "exception.h"

namespace simpletcp {
namespace {

// The events a listening socket is registered for, FD_READ | FD_ACCEPT | FD_CLOSE; the
// sockets it accepts inherit the registration.
constexpr long kServerEvents = FD_READ | FD_ACCEPT | FD_CLOSE;
constexpr int kListenBacklog = 5;
constexpr int kHostNameLimit = 260;

// While the process is out of sockets, accepting pauses for this long and then tries again.
constexpr UINT_PTR kAcceptRetryTimer = 1;
constexpr UINT kAcceptRetryMs = 250;

// accept failed because the peer gave up (reset or vanished) before it was accepted:
// that connection is gone, the listening socket is fine.
bool PeerVanishedBeforeAccept(int error) {
    return error == WSAEWOULDBLOCK || error == WSAECONNABORTED || error == WSAECONNRESET ||
           error == WSAENOTCONN;
}

// accept failed because the process is out of sockets or buffers; Wine reports its
// server's lack of descriptors as WSAEINVAL. The pending connections can still be taken
// once resources are freed.
bool OutOfSocketResources(int error) {
    return error == WSAEMFILE || error == WSAENOBUFS || error == WSAEINVAL;
}

} // namespace

TSimpleTCPServer::TSimpleTCPServer(winapp::TComponent* owner) : TCustomSimpleSocket(owner) {
    FConnections = std::make_unique<TConnectionList>();
}

// Listening stops first and frees every connection; a destructor cannot pass an
// exception on, so a failing close is shown by the application instead.
TSimpleTCPServer::~TSimpleTCPServer() {
    Destroying();
    try {
        WriteListen(false);
    } catch (...) {
        if (winapp::Application != nullptr)
            winapp::Application->HandleException(this);
    }
    FConnections.reset();
}

void TSimpleTCPServer::WriteListen(bool Value) {
    if (IsDesigning()) {
        FListening = Value;
        return;
    }
    if (Value == FListening)
        return;
    if (Value)
        Start();
    else
        Stop();
}

void TSimpleTCPServer::Start() {
    FSocket = TSocketHandle(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!FSocket.Valid()) {
        SocketError(INVALID_SOCKET, WSAGetLastError());
        return;
    }
    FSockAddr = sockaddr_in{};
    FSockAddr.sin_family = AF_INET;
    FSockAddr.sin_addr.s_addr = htonl(INADDR_ANY);
    FSockAddr.sin_port = htons(FPort);
    const SOCKET listening = FSocket.Get();
    if (bind(listening, reinterpret_cast<const sockaddr*>(&FSockAddr), sizeof FSockAddr) != 0 ||
        listen(listening, kListenBacklog) != 0 ||
        WSAAsyncSelect(listening, NotifyWindow(), kWMSocket, kServerEvents) != 0) {
        const int error = WSAGetLastError();
        FSocket = TSocketHandle();
        SocketError(listening, error);
        return;
    }
    FListening = true;
}

// Connections go from the last to the first, each reset and freed without
// OnClientDisconnected; then the listening socket. A failing close of the listening
// socket is reported once and leaves the server listening with its socket.
void TSimpleTCPServer::Stop() {
    if (FStopping)
        return;
    struct TStopping {
        bool& Flag;
        ~TStopping() { Flag = false; }
    } stopping{FStopping = true};

    while (!FConnections->empty()) {
        TSimpleTCPClient* const last = FConnections->back().get();
        last->WriteConnected(false);
        // Its OnDisconnected may have run a message loop that changed the list.
        const auto held = std::find_if(FConnections->begin(), FConnections->end(),
                                       [last](const auto& c) { return c.get() == last; });
        if (held != FConnections->end())
            FConnections->erase(held);
    }
    const SOCKET listening = FSocket.Get();
    WSAAsyncSelect(listening, NotifyWindow(), kWMSocket, 0);
    shutdown(listening, 2 /* SD_BOTH */);
    if (FSocket.Close() != 0) {
        SocketError(listening, WSAGetLastError());
        return;
    }
    FListening = false;
}

void TSimpleTCPServer::DoAccept() {
    int length = sizeof FSockAddr;
    // Owned from here on, so that a socket for which no connection object can be made
    // is closed again.
    TSocketHandle accepted(accept(FSocket.Get(), reinterpret_cast<sockaddr*>(&FSockAddr), &length));
    if (!accepted.Valid()) {
        const int error = WSAGetLastError();
        if (PeerVanishedBeforeAccept(error))
            return;
        if (OutOfSocketResources(error)) {
            PauseAccepting();
            return;
        }
        SocketError(INVALID_SOCKET, error);
        return;
    }
    std::unique_ptr<TSimpleTCPClient, TFreeConnection> client(new TSimpleTCPClient(nullptr));
    client->FSocket = std::move(accepted);
    client->FHost = inet_ntoa(FSockAddr.sin_addr);
    client->FPort = FPort;
    client->FConnectRequested = true;
    client->FEstablished = true;

    bool accept = true;
    if (OnAccept)
        OnAccept(this, client.get(), accept);
    // A refused connection is freed here, which resets it.
    if (!accept)
        return;
    TSimpleTCPClient* const kept = client.get();
    FConnections->push_back(std::move(client));
    if (OnClientConnected)
        OnClientConnected(this, kept);
}

// Without FD_ACCEPT the listening socket stops announcing the waiting connections, which
// would otherwise be announced again at once and fail again; the timer brings it back.
void TSimpleTCPServer::PauseAccepting() {
    WSAAsyncSelect(FSocket.Get(), NotifyWindow(), kWMSocket, kServerEvents & ~FD_ACCEPT);
    SetTimer(NotifyWindow(), kAcceptRetryTimer, kAcceptRetryMs, nullptr);
}

// Registering FD_ACCEPT again announces a connection that is already waiting.
void TSimpleTCPServer::ResumeAccepting() {
    KillTimer(NotifyWindow(), kAcceptRetryTimer);
    if (FListening && WSAAsyncSelect(FSocket.Get(), NotifyWindow(), kWMSocket, kServerEvents) != 0)
        SocketError(FSocket.Get(), WSAGetLastError());
}

void TSimpleTCPServer::NotifyWndProc(winapp::TMessage& Message) {
    if (Message.Msg != WM_TIMER || Message.WParam != kAcceptRetryTimer) {
        TCustomSimpleSocket::NotifyWndProc(Message);
        return;
    }
    try {
        ResumeAccepting();
    } catch (...) {
        if (winapp::Application != nullptr)
            winapp::Application->HandleException(this);
    }
}

void TSimpleTCPServer::DoPeerClose(SOCKET Socket) {
    EndConnection(Socket);
}

void TSimpleTCPServer::EndConnection(SOCKET socket) {
    const auto held = std::find_if(FConnections->begin(), FConnections->end(),
                                   [socket](const auto& c) { return c->FSocket.Get() == socket; });
    if (held == FConnections->end())
        return;
    // Out of the list before the event; freed, which closes the socket, after it.
    const std::unique_ptr<TSimpleTCPClient, TFreeConnection> client = std::move(*held);
    FConnections->erase(held);
    if (OnClientDisconnected && !IsDestroying())
        OnClientDisconnected(this, client.get());
}

void TSimpleTCPServer::DoDataAvailable(TSimpleTCPClient* Client, int DataSize, bool& Handled) {
    Handled = static_cast<bool>(OnClientDataAvailable);
    if (Handled)
        OnClientDataAvailable(this, Client, DataSize);
}

void TSimpleTCPServer::DoRead(TSimpleTCPClient* Client, winapp::TStream* Stream) {
    if (OnClientRead)
        OnClientRead(this, Client, Stream);
}

void TSimpleTCPServer::WritePort(uint16_t Value) {
    if (IsDesigning()) {
        FPort = Value;
        return;
    }
    if (Value == FPort)
        return;
    if (!FListening) {
        FPort = Value;
        return;
    }
    if (!FAllowChangeHostAndPortOnConnection)
        throw winapp::Exception("Can not change Port while listening");
    WriteListen(false);
    FPort = Value;
    WriteListen(true);
}

// A broken connection ends that connection alone, as a peer's close does: one client
// that resets must not take the service down for the others. Every other failure
// stops listening first and is then reported.
void TSimpleTCPServer::SocketError(SOCKET Socket, int ErrorCode) {
    if (IsBrokenConnectionError(ErrorCode) && FindConnection(Socket) != nullptr) {
        EndConnection(Socket);
        return;
    }
    WriteListen(false);
    TCustomSimpleSocket::SocketError(Socket, ErrorCode);
}

bool TSimpleTCPServer::ReadLocalHostName(std::string& name) {
    char buffer[kHostNameLimit + 1] = {};
    if (gethostname(buffer, kHostNameLimit) != 0) {
        SocketError(FSocket.Get(), WSAGetLastError());
        return false;
    }
    name = buffer;
    return true;
}

std::string TSimpleTCPServer::LocalHostName() {
    std::string name;
    ReadLocalHostName(name);
    return name;
}

std::string TSimpleTCPServer::LocalIP() {
    std::string name;
    if (!ReadLocalHostName(name))
        return {};
    const hostent* const host = gethostbyname(name.c_str());
    if (host == nullptr || host->h_addr_list[0] == nullptr)
        return {};
    in_addr address;
    std::memcpy(&address, host->h_addr_list[0], sizeof address);
    return inet_ntoa(address);
}

} // namespace simpletcp
