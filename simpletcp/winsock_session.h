#pragma once
// One Windows Sockets 1.1 session: WSAStartup on construction, WSACleanup on destruction.

#include <windows.h>
#include <winsock.h>

#include "component.h"

namespace simpletcp {

class TWinsockSession {
  public:
    // Raises "Can not start socket session" when Windows Sockets refuses; nothing is
    // then left to end.
    explicit TWinsockSession(winapp::TObject* holder);
    // A failing WSACleanup is shown as "Can not clean socket session" through the
    // application's exception handler: a destructor cannot pass it on.
    ~TWinsockSession();
    TWinsockSession(const TWinsockSession&) = delete;
    TWinsockSession& operator=(const TWinsockSession&) = delete;

  private:
    winapp::TObject* FHolder;
    WSADATA FWSAData; // filled by WSAStartup, not read afterwards
};

} // namespace simpletcp
