// Fuzzes the settings reader's integer rule. Every input is checked against a second
// reading of the rule that works on the digits as text (length and lexical comparison
// instead of accumulation, so an overflow slip in either shows as a disagreement), and
// the input's first bytes are turned into numbers whose printed forms must read back.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "str_to_int.h"

namespace {

using fuzzcheck::Require;

constexpr std::string_view kDecimalDigits = "0123456789";
constexpr std::string_view kHexDigits = "0123456789abcdefABCDEF";

bool AllOf(std::string_view digits, std::string_view allowed) {
    for (const char c : digits)
        if (allowed.find(c) == std::string_view::npos)
            return false;
    return true;
}

std::string_view WithoutLeadingZeros(std::string_view digits) {
    const size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view() : digits.substr(first);
}

std::optional<int32_t> ModelHex(std::string_view digits) {
    if (digits.empty() || !AllOf(digits, kHexDigits))
        return std::nullopt;
    const std::string significant(WithoutLeadingZeros(digits));
    if (significant.size() > 8)
        return std::nullopt;
    if (significant.empty())
        return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(std::stoul(significant, nullptr, 16)));
}

std::optional<int32_t> ModelDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !AllOf(text, kDecimalDigits))
        return std::nullopt;
    const std::string_view significant = WithoutLeadingZeros(text);
    const std::string_view limit = negative ? "2147483648" : "2147483647";
    if (significant.size() > limit.size() ||
        (significant.size() == limit.size() && significant > limit))
        return std::nullopt;
    const long long magnitude = significant.empty() ? 0 : std::stoll(std::string(significant));
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

std::optional<int32_t> Model(std::string_view text) {
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return std::nullopt;
    text.remove_prefix(start);
    if (text[0] == '$' || text[0] == 'x' || text[0] == 'X')
        return ModelHex(text.substr(1));
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ModelHex(text.substr(2));
    return ModelDecimal(text);
}

void CheckAgainstModel(const std::string& text, int32_t defaultValue) {
    Require(winapp::StrToInt(text) == Model(text), "StrToInt agrees with the model", text);
    // The reader turns a leading "0x" of a longer text into "$" before converting.
    const bool readerPrefix =
        text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::optional<int32_t> expected =
        readerPrefix ? Model("$" + text.substr(2)) : Model(text);
    Require(winapp::StrToIntDef(text, defaultValue) == expected.value_or(defaultValue),
            "StrToIntDef agrees with the model or gives the default", text);
}

std::string Hex(uint64_t value, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value % 16]);
        value /= 16;
    } while (value != 0);
    return text;
}

// Decimal and hexadecimal forms of a 64-bit value, decorated as the rule allows (blanks,
// a plus sign, leading zeros), read back when and only when the value fits the rule's range.
void CheckRoundTrips(int64_t wide, uint8_t decoration) {
    const std::string blanks(decoration & 3u, ' ');
    const std::string zeros((decoration >> 2) & 3u, '0');
    const bool plus = (decoration & 16u) != 0;
    const bool upper = (decoration & 32u) != 0;

    const bool fits = wide >= INT32_MIN && wide <= INT32_MAX;
    const std::string magnitude = wide < 0 ? std::to_string(wide).substr(1) : std::to_string(wide);
    const std::string decimal = blanks + (wide < 0 ? "-" : plus ? "+" : "") + zeros + magnitude;
    const std::optional<int32_t> read = winapp::StrToInt(decimal);
    Require(read.has_value() == fits, "a printed decimal reads back exactly when it is in range",
            decimal);
    if (fits)
        Require(*read == static_cast<int32_t>(wide), "a printed decimal reads back as itself",
                decimal);

    const auto bits = static_cast<uint64_t>(wide);
    const bool fitsHex = bits <= 0xFFFFFFFFull;
    for (const char* prefix : {"$", "x", "X", "0x", "0X"}) {
        const std::string hex = blanks + prefix + zeros + Hex(bits, upper);
        const std::optional<int32_t> readHex = winapp::StrToInt(hex);
        Require(readHex.has_value() == fitsHex,
                "printed hex reads back exactly when it fits 32 bits", hex);
        if (fitsHex)
            Require(*readHex == static_cast<int32_t>(static_cast<uint32_t>(bits)),
                    "printed hex reads back as the same 32 bits", hex);
        Require(!winapp::StrToInt(blanks + "-" + prefix + Hex(bits, upper)).has_value(),
                "no sign may stand before a hexadecimal number", hex);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int32_t defaultValue = 23;
    if (size >= 4)
        std::memcpy(&defaultValue, data, 4);
    CheckAgainstModel(text, defaultValue);

    if (size >= 9) {
        int64_t wide = 0;
        std::memcpy(&wide, data, 8);
        CheckRoundTrips(wide, data[8]);
        // Values near the 32-bit range edges are where the rule's limits are decided.
        CheckRoundTrips(static_cast<int64_t>(static_cast<int8_t>(data[0])) + INT32_MAX, data[8]);
        CheckRoundTrips(static_cast<int64_t>(static_cast<int8_t>(data[0])) + INT32_MIN, data[8]);
        CheckRoundTrips(static_cast<int64_t>(static_cast<int8_t>(data[0])) + UINT32_MAX, data[8]);
    }
    return 0;
}
