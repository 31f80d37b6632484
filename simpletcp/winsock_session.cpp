#include "winsock_session.h"

#include "application.h"
#include "exception.h"

namespace simpletcp {
namespace {
constexpr WORD kWinsockVersion11 = 0x0101;
}

TWinsockSession::TWinsockSession(winapp::TObject* holder) : FHolder(holder), FWSAData{} {
    if (WSAStartup(kWinsockVersion11, &FWSAData) != 0)
        throw winapp::Exception("Can not start socket session");
}

TWinsockSession::~TWinsockSession() {
    if (WSACleanup() == 0)
        return;
    try {
        throw winapp::Exception("Can not clean socket session");
    } catch (...) {
        if (winapp::Application != nullptr)
            winapp::Application->HandleException(FHolder);
    }
}

} // namespace simpletcp
