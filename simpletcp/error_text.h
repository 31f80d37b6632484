#pragma once
// The English texts of Windows Sockets error codes. Plain C++, so that it builds and is
// tested natively as well as for Windows.

namespace simpletcp {

// The text reported for a Windows Sockets error code; codes without a text of their
// own, 0 and negative values included, get "Not a WinSock error ?".
const char* SocketErrorText(int errorCode);

// True for the codes that say one connection is broken (dropped on reset, aborted,
// reset by the peer, timed out): the end of that connection, not of the service.
bool IsBrokenConnectionError(int errorCode);

} // namespace simpletcp
