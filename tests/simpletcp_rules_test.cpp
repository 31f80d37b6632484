// The error texts of the socket components and which codes end one connection only.

#include <gtest/gtest.h>

#include <string>

#include "error_text.h"

namespace {

using simpletcp::IsBrokenConnectionError;
using simpletcp::SocketErrorText;

constexpr char kDefault[] = "Not a WinSock error ?";

TEST(SocketErrorText, EveryCodeHasItsText) {
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {10004, "Interrupted system call"},
        {10009, "Bad file number"},
        {10013, "Permission denied"},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open files"},
        {10035, "Operation would block"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on non-socket"},
        {10039, "Destination address required"},
        {10040, "Message too long"},
        {10041, "Protocol wrong type for socket"},
        {10042, "Protocol not available"},
        {10043, "Protocol not supported"},
        {10044, "Socket type not supported"},
        {10045, "Operation not supported on socket"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported by protocol family"},
        {10048, "Address already in use"},
        {10049, "Can't assign requested address"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Network dropped connection on reset"},
        {10053, "Software caused connection abort"},
        {10054, "Connection reset by peer"},
        {10055, "No buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references: can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name too long"},
        {10064, "Host is down"},
        {10065, "No route to host"},
        {10066, "Directory not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disk quota exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network sub-system is unusable"},
        {10092, "WinSock DLL cannot support this application"},
        {10093, "WinSock not initialized"},
        {11001, "Host not found"},
        {11002, "Non-authoritative host not found"},
        {11003, "Non-recoverable error"},
        {11004, "No Data"},
        // Values around and between the codes get the default text.
        {0, kDefault},
        {-1, kDefault},
        {-10054, kDefault},
        {10000, kDefault},
        {10001, kDefault},
        {10003, kDefault},
        {10005, kDefault},
        {10008, kDefault},
        {10010, kDefault},
        {10023, kDefault},
        {10034, kDefault},
        {10072, kDefault},
        {10090, kDefault},
        {10094, kDefault},
        {11000, kDefault},
        {11005, kDefault},
        {65535, kDefault},
        {2147483647, kDefault},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::string(SocketErrorText(c.code)), c.text) << "code " << c.code;
}

TEST(BrokenConnectionError, OnlyTheCodesThatEndOneConnection) {
    const struct {
        int code;
        bool broken;
    } cases[] = {
        {10052, true},  {10053, true},  {10054, true},  {10060, true},  {0, false},
        {10048, false}, {10050, false}, {10051, false}, {10055, false}, {10057, false},
        {10058, false}, {10061, false}, {10038, false}, {10035, false}, {-10054, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsBrokenConnectionError(c.code), c.broken) << "code " << c.code;
}

} // namespace
