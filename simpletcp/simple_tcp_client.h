#pragma once
// One TCP connection: an outbound client, or a connection that the server accepted.

#include <functional>
#include <string>

#include "custom_simple_socket.h"

namespace simpletcp {

class TSimpleTCPServer;

using TNotifyEvent = std::function<void(winapp::TObject* Sender)>;
using TSimpleTCPClientDataAvailEvent = std::function<void(winapp::TObject* Sender, int DataSize)>;
using TSimpleTCPClientIOEvent =
    std::function<void(winapp::TObject* Sender, winapp::TStream* Stream)>;

class TSimpleTCPClient : public TCustomSimpleSocket {
  public:
    explicit TSimpleTCPClient(winapp::TComponent* owner);
    ~TSimpleTCPClient() override;

    bool AutoTryReconnect() const { return FAutoTryReconnect; }
    void SetAutoTryReconnect(bool value) { FAutoTryReconnect = value; }
    // True once the connection is established; right after a connection is requested it
    // still reads false.
    bool Connected() const { return FEstablished; }

    TNotifyEvent OnConnected;
    TNotifyEvent OnDisconnected;
    TSimpleTCPClientDataAvailEvent OnDataAvailable;
    TSimpleTCPClientIOEvent OnRead;

  protected:
    void SocketError(SOCKET Socket, int ErrorCode) override;

  public:
    void WriteHost(const std::string& Value) override;
    void WritePort(uint16_t Value) override;

  protected:
    void DoConnect() override;
    void DoPeerClose(SOCKET Socket) override;
    void DoDataAvailable(TSimpleTCPClient* Client, int DataSize, bool& Handled) override;
    void DoRead(TSimpleTCPClient* Client, winapp::TStream* Stream) override;

  public:
    // Requests a connection to Host:Port (true) or its end (false).
    virtual void WriteConnected(bool Value);

  private:
    friend class TSimpleTCPServer;

    void Connect();
    void Disconnect();
    // The Host and Port change rule: stored while not established, else a reconnect
    // when allowed, else the refusal `refusal`.
    template <class TValue>
    void ChangeAddressPart(TValue& part, const TValue& value, const char* refusal);

    bool FAutoTryReconnect = false;
    bool FConnectRequested = false;
    bool FEstablished = false;
};

} // namespace simpletcp
