#pragma once
// The common base of the socket components: a Windows Sockets session, a hidden
// notification window, the decoding of socket notifications and the read drain.

#include <windows.h>
#include <winsock.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "component.h"
#include "memory_stream.h"
#include "message.h"
#include "socket_handle.h"
#include "util_window.h"
#include "winsock_session.h"

namespace simpletcp {

class TSimpleTCPClient;

// Windows Sockets posts its notifications with this message number (WM_USER + 1).
constexpr UINT kWMSocket = WM_USER + 1;

// One read drain stops taking bytes once it holds this many, delivers them and ends;
// Windows Sockets posts FD_READ again for the rest, so a peer that sends without pause
// cannot grow one stream without bound or keep the other notifications waiting.
constexpr size_t kMaxDrainBytes = 1u << 20;

// The longest a read-fully receive waits for the rest of its bytes, in milliseconds.
constexpr DWORD kReadFullyTimeoutMs = 3000;

using TSimpleTCPErrorEvent = std::function<void(winapp::TObject* Sender, SOCKET Socket,
                                                int ErrorCode, const std::string& ErrorMsg)>;

// Frees a connection object the way its owner would; defined where the class is complete.
struct TFreeConnection {
    void operator()(TSimpleTCPClient* client) const;
};
using TConnectionList = std::vector<std::unique_ptr<TSimpleTCPClient, TFreeConnection>>;

class TCustomSimpleSocket : public winapp::TComponent {
  public:
    explicit TCustomSimpleSocket(winapp::TComponent* owner);
    ~TCustomSimpleSocket() override;

    bool AllowChangeHostAndPortOnConnection() const { return FAllowChangeHostAndPortOnConnection; }
    void SetAllowChangeHostAndPortOnConnection(bool value) {
        FAllowChangeHostAndPortOnConnection = value;
    }
    const std::string& Host() const { return FHost; }
    uint16_t Port() const { return FPort; }

    // The component's socket, INVALID_SOCKET when it holds none. A handler that takes
    // over the reading passes a connection's socket to ReceiveBuffer or ReceiveToStream.
    SOCKET SocketHandle() const { return FSocket.Get(); }
    HWND NotifyWindow() const { return FNotifyWindow.Handle(); }

    // Receives up to `Size` bytes from `Socket` into `Buffer`: the count received, 0 when
    // the peer has closed, -1 after a failure (reported). With `ReadFully` it waits, at
    // most kReadFullyTimeoutMs, for the rest of the `Size` bytes.
    int ReceiveBuffer(SOCKET Socket, void* Buffer, int Size, bool ReadFully);
    // Appends what ReceiveBuffer receives to `Stream`; 0 for a `Size` of 0 or less.
    int ReceiveToStream(SOCKET Socket, winapp::TStream* Stream, int Size, bool ReadFully);

    TSimpleTCPErrorEvent OnError;

    // The virtual operations, in their fixed order; those that a class does not supply
    // raise "Abstract Error".
  protected:
    virtual void NotifyWndProc(winapp::TMessage& Message);
    // Reports one Windows Sockets failure: to OnError when assigned, else as an exception.
    virtual void SocketError(SOCKET Socket, int ErrorCode);

  public:
    virtual void WriteHost(const std::string& Value);
    virtual void WritePort(uint16_t Value);

  protected:
    virtual void DoAccept();
    virtual void DoConnect();
    virtual void DoPeerClose(SOCKET Socket);
    virtual void DoDataAvailable(TSimpleTCPClient* Client, int DataSize, bool& Handled);
    virtual void DoRead(TSimpleTCPClient* Client, winapp::TStream* Stream);

    void WMSocket(winapp::TMessage& Message);

    // The connection of the list that holds `socket`, or nullptr.
    TSimpleTCPClient* FindConnection(SOCKET socket) const;
    // Whether `socket` is this component's own or one of its connections'. Notifications
    // about any other socket are left over from a connection that has already ended.
    bool HoldsSocket(SOCKET socket) const;
    // Lets code that calls out to handlers notice that a handler freed the component.
    std::weak_ptr<const bool> Lifetime() const { return FLifetime; }

    bool FAllowChangeHostAndPortOnConnection = false;
    std::string FHost;
    uint16_t FPort = 0;
    TSocketHandle FSocket;
    std::unique_ptr<TConnectionList> FConnections;
    sockaddr_in FSockAddr{};
    hostent* FHostEnt = nullptr;

  private:
    void Dispatch(winapp::TMessage& Message);
    void DrainSocket(SOCKET socket);

    // Declared in this order so that the session starts before the window exists and
    // ends after it is gone: no notification can reach a component without a session,
    // and a session that fails to start leaves no window behind.
    TWinsockSession FSession;
    winapp::TUtilWindow FNotifyWindow;
    std::shared_ptr<const bool> FLifetime = std::make_shared<const bool>(true);
};

} // namespace simpletcp
