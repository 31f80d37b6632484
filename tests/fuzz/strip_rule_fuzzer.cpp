// Fuzzes the strip rule of received blocks. Any block loses at most one of the four
// allowed tails; blocks built from the fuzzer's bytes and each row of the rule's table
// lose exactly that row's tail. Blocks are passed in buffers of their exact size, so that
// AddressSanitizer sees any read before the start or past the end.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "strip.h"

namespace {

using fuzzcheck::Require;

std::string Stripped(const std::string& block) {
    const std::unique_ptr<char[]> exact(new char[block.size()]);
    std::memcpy(exact.get(), block.data(), block.size());
    const size_t length = quendra::StrippedLength(exact.get(), block.size());
    Require(length <= block.size(), "the stripped length is within the block", block);
    return block.substr(0, length);
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void CheckAnyBlock(const std::string& block) {
    const std::string kept = Stripped(block);
    const std::string removed = block.substr(kept.size());
    Require(removed.empty() || removed == "\r" || removed == "\r\n" || removed == "\r\n\r",
            "only a trailing CR, CR LF or CR LF CR is removed", block);
    // One CR goes first, then one CR LF: the tail removed is the longest one the two steps allow.
    const std::string expected = EndsWith(block, "\r\n\r") ? "\r\n\r"
                                 : EndsWith(block, "\r")   ? "\r"
                                 : EndsWith(block, "\r\n") ? "\r\n"
                                                           : "";
    Require(removed == expected, "the removed tail is the one the two steps give", block);
}

// `text` ends in a byte that is neither CR nor LF, so each row's tail is all that can go.
void CheckTableRows(const std::string& text) {
    const struct {
        const char* tail;
        const char* kept;
    } rows[] = {
        {"\r\n", ""},     {"\r", ""},   {"\r\n\r", ""}, {"\r\r", "\r"}, {"\r\n\r\n", "\r\n"},
        {"\r\r\n", "\r"}, {"\n", "\n"}, {"\n\r", "\n"}, {"", ""},
    };
    for (const auto& row : rows)
        Require(Stripped(text + row.tail) == text + row.kept, "each row of the table holds",
                text + row.tail);
}

// Appending a tail to any block, whatever it ends with.
void CheckAppendedTails(const std::string& block) {
    Require(Stripped(block + "\r\n") == block, "a block sent with CR LF arrives as itself", block);
    Require(Stripped(block + "\r\n\r") == block, "a block sent with CR LF CR arrives as itself",
            block);
    const std::string withoutCrLf =
        EndsWith(block, "\r\n") ? block.substr(0, block.size() - 2) : block;
    Require(Stripped(block + "\r") == withoutCrLf, "a lone CR goes, then a CR LF before it", block);
    Require(Stripped(block + "x") == block + "x", "a block ending in another byte is kept whole",
            block);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string block(reinterpret_cast<const char*>(data), size);
    CheckAnyBlock(block);
    CheckTableRows(block + "x");
    CheckAppendedTails(block);
    Require(quendra::StrippedLength(nullptr, 0) == 0, "an empty block stays empty", block);
    return 0;
}
