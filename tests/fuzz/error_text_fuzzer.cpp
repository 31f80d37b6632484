// Fuzzes the socket error texts: every code gets a text, the default one exactly for the
// codes outside the Windows Sockets ranges the table covers, and no two codes share a
// text of their own. Each input is read as a code anywhere in the 32-bit range and,
// folded, as a code in and around the table's ranges, where the edges are.

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "error_text.h"
#include "fuzz_check.h"

namespace {

using fuzzcheck::Require;

constexpr char kDefaultText[] = "Not a WinSock error ?";

bool HasTextOfItsOwn(int32_t code) {
    switch (code) {
    case 10004:
    case 10009:
    case 10013:
    case 10014:
    case 10022:
    case 10024:
        return true;
    default:
        return (code >= 10035 && code <= 10071) || (code >= 10091 && code <= 10093) ||
               (code >= 11001 && code <= 11004);
    }
}

void CheckCode(int32_t code) {
    const std::string shown = "code " + std::to_string(code);
    const char* text = simpletcp::SocketErrorText(code);
    Require(text != nullptr && *text != '\0', "every code has a text", shown);
    for (const char* c = text; *c != '\0'; ++c)
        Require(*c >= 32 && *c < 127, "texts are printable single-byte text", shown);
    const bool isDefault = std::strcmp(text, kDefaultText) == 0;
    Require(isDefault != HasTextOfItsOwn(code), "the default text goes to exactly the other codes",
            shown);
    if (simpletcp::IsBrokenConnectionError(code))
        Require(!isDefault, "a broken-connection code is a Windows Sockets code", shown);
    if (!isDefault) {
        static std::map<std::string, int32_t> owners;
        const auto owner = owners.emplace(text, code).first;
        Require(owner->second == code, "no two codes share a text", shown + " and " + owner->first);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    int32_t code = 0;
    std::memcpy(&code, data, 4);
    CheckCode(code);
    const auto folded = static_cast<int32_t>(static_cast<uint32_t>(code) % 1200u);
    CheckCode(9990 + folded);
    return 0;
}
