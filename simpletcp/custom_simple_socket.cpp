#include "custom_simple_socket.h"

#include "application.h"
#include "error_text.h"
#include "exception.h"
#include "simple_tcp_client.h"

namespace simpletcp {
namespace {

// Windows Sockets error codes start above this; an error word at or below it is none.
constexpr WORD kErrorWordFloor = 10000;

} // namespace

void TFreeConnection::operator()(TSimpleTCPClient* client) const {
    winapp::TComponent::Free(client);
}

TCustomSimpleSocket::TCustomSimpleSocket(winapp::TComponent* owner)
    : winapp::TComponent(owner), FSession(this),
      FNotifyWindow([this](winapp::TMessage& message) { NotifyWndProc(message); }) {}

TCustomSimpleSocket::~TCustomSimpleSocket() = default;

void TCustomSimpleSocket::NotifyWndProc(winapp::TMessage& Message) {
    try {
        if (Message.Msg == WM_QUERYENDSESSION)
            Message.Result = 1;
        else
            Dispatch(Message);
    } catch (...) {
        if (winapp::Application != nullptr)
            winapp::Application->HandleException(this);
    }
}

// Only the socket notification has a handler; every other message is left unanswered,
// with Result 0, and not passed to the default window procedure.
void TCustomSimpleSocket::Dispatch(winapp::TMessage& Message) {
    if (Message.Msg == kWMSocket)
        WMSocket(Message);
}

// The error word comes first: a notification that carries one is only reported, its
// event is not acted on.
void TCustomSimpleSocket::WMSocket(winapp::TMessage& Message) {
    const auto socket = static_cast<SOCKET>(Message.WParam);
    // Messages already queued when a socket was closed still arrive; the socket they
    // name is gone (or its number belongs to a newer socket by now), so they are dropped.
    if (!HoldsSocket(socket))
        return;
    const auto lParam = static_cast<DWORD>(Message.LParam);
    const WORD error = HIWORD(lParam);
    if (error > kErrorWordFloor) {
        SocketError(socket, error);
        return;
    }
    switch (LOWORD(lParam)) {
    case FD_READ:
        DrainSocket(socket);
        break;
    case FD_ACCEPT:
        DoAccept();
        break;
    case FD_CONNECT:
        DoConnect();
        break;
    case FD_CLOSE:
        DoPeerClose(socket);
        break;
    default:
        break;
    }
}

void TCustomSimpleSocket::SocketError(SOCKET Socket, int ErrorCode) {
    const std::string text = SocketErrorText(ErrorCode);
    if (OnError) {
        OnError(this, Socket, ErrorCode, text);
        return;
    }
    throw winapp::Exception(text);
}

void TCustomSimpleSocket::WriteHost(const std::string&) {
    winapp::AbstractError();
}
void TCustomSimpleSocket::WritePort(uint16_t) {
    winapp::AbstractError();
}
void TCustomSimpleSocket::DoAccept() {
    winapp::AbstractError();
}
void TCustomSimpleSocket::DoConnect() {
    winapp::AbstractError();
}
void TCustomSimpleSocket::DoPeerClose(SOCKET) {
    winapp::AbstractError();
}
void TCustomSimpleSocket::DoDataAvailable(TSimpleTCPClient*, int, bool&) {
    winapp::AbstractError();
}
void TCustomSimpleSocket::DoRead(TSimpleTCPClient*, winapp::TStream*) {
    winapp::AbstractError();
}

TSimpleTCPClient* TCustomSimpleSocket::FindConnection(SOCKET socket) const {
    if (FConnections == nullptr)
        return nullptr;
    for (const auto& connection : *FConnections) {
        if (connection->FSocket.Get() == socket)
            return connection.get();
    }
    return nullptr;
}

bool TCustomSimpleSocket::HoldsSocket(SOCKET socket) const {
    if (socket == INVALID_SOCKET)
        return false;
    return socket == FSocket.Get() || FindConnection(socket) != nullptr;
}

} // namespace simpletcp
