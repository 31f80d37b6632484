#pragma once
// A move-only owner of one Windows Sockets socket.

#include <windows.h>
#include <winsock.h>

#include <utility>

namespace simpletcp {

class TSocketHandle {
  public:
    TSocketHandle() = default;
    explicit TSocketHandle(SOCKET handle) : FHandle(handle) {}
    ~TSocketHandle() {
        if (Valid())
            closesocket(FHandle);
    }
    TSocketHandle(TSocketHandle&& other) noexcept
        : FHandle(std::exchange(other.FHandle, INVALID_SOCKET)) {}
    TSocketHandle& operator=(TSocketHandle&& other) noexcept {
        if (this != &other) {
            if (Valid())
                closesocket(FHandle);
            FHandle = std::exchange(other.FHandle, INVALID_SOCKET);
        }
        return *this;
    }
    TSocketHandle(const TSocketHandle&) = delete;
    TSocketHandle& operator=(const TSocketHandle&) = delete;

    SOCKET Get() const { return FHandle; }
    bool Valid() const { return FHandle != INVALID_SOCKET; }

    // Closes the socket and returns closesocket's result. A failed close keeps the
    // handle, so that the owner can report the failure with it and still holds it.
    int Close() {
        const int result = closesocket(FHandle);
        if (result == 0)
            FHandle = INVALID_SOCKET;
        return result;
    }

  private:
    SOCKET FHandle = INVALID_SOCKET;
};

} // namespace simpletcp
