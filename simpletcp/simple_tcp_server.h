#pragma once
// The listening server: accepts connections on one port and delivers what they send.

#include <cstddef>
#include <functional>
#include <string>

#include "custom_simple_socket.h"
#include "simple_tcp_client.h"

namespace simpletcp {

using TSimpleTCPAcceptEvent =
    std::function<void(winapp::TObject* Sender, TSimpleTCPClient* Client, bool& Accept)>;
using TSimpleTCPServerEvent =
    std::function<void(winapp::TObject* Sender, TSimpleTCPClient* Client)>;
using TSimpleTCPServerDataAvailEvent =
    std::function<void(winapp::TObject* Sender, TSimpleTCPClient* Client, int DataSize)>;
using TSimpleTCPServerIOEvent =
    std::function<void(winapp::TObject* Sender, TSimpleTCPClient* Client, winapp::TStream* Stream)>;

class TSimpleTCPServer : public TCustomSimpleSocket {
  public:
    explicit TSimpleTCPServer(winapp::TComponent* owner);
    ~TSimpleTCPServer() override;

    bool Listen() const { return FListening; }
    // The local host's name and first address; a failing gethostname is reported.
    std::string LocalHostName();
    std::string LocalIP();

    // The accepted connections, in order of acceptance.
    size_t ConnectionCount() const { return FConnections->size(); }
    TSimpleTCPClient* Connection(size_t index) const { return (*FConnections)[index].get(); }

    TSimpleTCPAcceptEvent OnAccept;
    TSimpleTCPServerEvent OnClientConnected;
    TSimpleTCPServerEvent OnClientDisconnected;
    TSimpleTCPServerDataAvailEvent OnClientDataAvailable;
    TSimpleTCPServerIOEvent OnClientRead;

  protected:
    void NotifyWndProc(winapp::TMessage& Message) override;
    void SocketError(SOCKET Socket, int ErrorCode) override;

  public:
    void WritePort(uint16_t Value) override;

  protected:
    void DoAccept() override;
    void DoPeerClose(SOCKET Socket) override;
    void DoDataAvailable(TSimpleTCPClient* Client, int DataSize, bool& Handled) override;
    void DoRead(TSimpleTCPClient* Client, winapp::TStream* Stream) override;

  public:
    // Starts (true) or stops (false) listening on Port.
    virtual void WriteListen(bool Value);

  private:
    void Start();
    void Stop();
    // Ends the connection that holds `socket` the way a peer's close does: out of the
    // list, OnClientDisconnected, freed.
    void EndConnection(SOCKET socket);
    // A failed accept that the process's lack of sockets caused: try again a little later.
    void PauseAccepting();
    void ResumeAccepting();
    bool ReadLocalHostName(std::string& name);

    bool FListening = false;
    // Set while a stop runs, so that a failure reported from inside it does not start
    // the same stop again.
    bool FStopping = false;
};

} // namespace simpletcp
