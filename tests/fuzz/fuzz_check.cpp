#include "fuzz_check.h"

#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

void Require(bool holds, const char* what, const std::string& input) {
    if (holds)
        return;
    std::fprintf(stderr, "invariant broken: %s\ninput (%zu bytes): \"", what, input.size());
    for (const char c : input) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 32 && byte < 127 && byte != '\\' && byte != '"')
            std::fputc(byte, stderr);
        else
            std::fprintf(stderr, "\\x%02X", byte);
    }
    std::fprintf(stderr, "\"\n");
    std::abort();
}

} // namespace fuzzcheck
