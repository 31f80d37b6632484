#include "simple_tcp_client.h"

#include <cstring>

#include "application.h"
#include "exception.h"

namespace simpletcp {
namespace {

// The events an outbound client listens for: FD_READ | FD_CONNECT | FD_CLOSE.
constexpr long kClientEvents = FD_READ | FD_CONNECT | FD_CLOSE;

} // namespace

TSimpleTCPClient::TSimpleTCPClient(winapp::TComponent* owner) : TCustomSimpleSocket(owner) {}

// Being destroyed already, the disconnect raises no OnDisconnected. A destructor cannot
// pass an exception on, so a failing close is shown by the application instead.
TSimpleTCPClient::~TSimpleTCPClient() {
    Destroying();
    try {
        WriteConnected(false);
    } catch (...) {
        if (winapp::Application != nullptr)
            winapp::Application->HandleException(this);
    }
}

void TSimpleTCPClient::WriteConnected(bool Value) {
    if (IsDesigning()) {
        if (Value)
            throw winapp::Exception("Can not connect at design-time");
        return;
    }
    if (Value == FConnectRequested)
        return;
    // Recorded first, so that the disconnect made by the error report undoes a
    // half-made connection.
    FConnectRequested = Value;
    if (Value)
        Connect();
    else
        Disconnect();
}

void TSimpleTCPClient::Connect() {
    FSockAddr = sockaddr_in{};
    FSockAddr.sin_family = AF_INET;
    FSockAddr.sin_port = htons(FPort);
    FSockAddr.sin_addr.s_addr = inet_addr(FHost.c_str());
    if (FSockAddr.sin_addr.s_addr == INADDR_NONE) {
        FHostEnt = gethostbyname(FHost.c_str());
        if (FHostEnt == nullptr || FHostEnt->h_addr_list[0] == nullptr) {
            SocketError(INVALID_SOCKET, WSAEFAULT);
            return;
        }
        std::memcpy(&FSockAddr.sin_addr, FHostEnt->h_addr_list[0], sizeof FSockAddr.sin_addr);
    }
    FSocket = TSocketHandle(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!FSocket.Valid()) {
        SocketError(INVALID_SOCKET, WSAGetLastError());
        return;
    }
    if (WSAAsyncSelect(FSocket.Get(), NotifyWindow(), kWMSocket, kClientEvents) != 0) {
        SocketError(FSocket.Get(), WSAGetLastError());
        return;
    }
    // The socket is asynchronous now: connect returns at once with WSAEWOULDBLOCK and
    // the outcome arrives as FD_CONNECT.
    if (connect(FSocket.Get(), reinterpret_cast<const sockaddr*>(&FSockAddr), sizeof FSockAddr) !=
        0) {
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK)
            SocketError(FSocket.Get(), error);
    }
}

// Every end of a connection comes through here: abortive, so the peer sees a reset.
void TSimpleTCPClient::Disconnect() {
    if (!FSocket.Valid())
        return;
    const SOCKET socket = FSocket.Get();
    // The registration is cancelled through this object's window even for an accepted
    // socket that reports to the server's: the call cancels it all the same.
    WSAAsyncSelect(socket, NotifyWindow(), kWMSocket, 0);
    shutdown(socket, 2 /* SD_BOTH */);
    const linger abortive{1, 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive),
               sizeof abortive);
    if (FSocket.Close() != 0) {
        SocketError(socket, WSAGetLastError());
        return;
    }
    FEstablished = false;
    if (OnDisconnected && !IsDestroying())
        OnDisconnected(this);
}

void TSimpleTCPClient::DoConnect() {
    FEstablished = true;
    if (OnConnected)
        OnConnected(this);
}

void TSimpleTCPClient::DoPeerClose(SOCKET) {
    const std::weak_ptr<const bool> lifetime = Lifetime();
    WriteConnected(false);
    // OnDisconnected may have freed this object.
    if (lifetime.expired() || IsDestroying())
        return;
    if (FAutoTryReconnect)
        WriteConnected(true);
}

void TSimpleTCPClient::DoDataAvailable(TSimpleTCPClient*, int DataSize, bool& Handled) {
    Handled = static_cast<bool>(OnDataAvailable);
    if (Handled)
        OnDataAvailable(this, DataSize);
}

void TSimpleTCPClient::DoRead(TSimpleTCPClient*, winapp::TStream* Stream) {
    if (OnRead)
        OnRead(this, Stream);
}

template <class TValue>
void TSimpleTCPClient::ChangeAddressPart(TValue& part, const TValue& value, const char* refusal) {
    if (IsDesigning()) {
        part = value;
        return;
    }
    if (value == part)
        return;
    if (!FEstablished) {
        // An attempt in progress keeps the address it started with.
        part = value;
        return;
    }
    if (!FAllowChangeHostAndPortOnConnection)
        throw winapp::Exception(refusal);
    WriteConnected(false);
    part = value;
    WriteConnected(true);
}

void TSimpleTCPClient::WriteHost(const std::string& Value) {
    ChangeAddressPart(FHost, Value, "Can not change Host while connected");
}

void TSimpleTCPClient::WritePort(uint16_t Value) {
    ChangeAddressPart(FPort, Value, "Can not change Port while connected");
}

// The connection is left first, so that a handler or the exception display sees it closed.
void TSimpleTCPClient::SocketError(SOCKET Socket, int ErrorCode) {
    WriteConnected(false);
    TCustomSimpleSocket::SocketError(Socket, ErrorCode);
}

} // namespace simpletcp
