#include "str_to_int.h"

namespace winapp {
namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<int32_t> ParseHex(const std::string& text, size_t pos) {
    if (pos == text.size())
        return std::nullopt;
    uint64_t value = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = HexDigitValue(text[pos]);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

std::optional<int32_t> ParseDecimal(const std::string& text, size_t pos) {
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos == text.size())
        return std::nullopt;
    // One past the magnitude of INT32_MIN, so that any longer run of digits stops early.
    constexpr uint64_t kLimit = 2147483648ull;
    uint64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
        if (magnitude > kLimit)
            return std::nullopt;
    }
    if (!negative && magnitude == kLimit)
        return std::nullopt;
    const int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return static_cast<int32_t>(value);
}

} // namespace

std::optional<int32_t> StrToInt(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    if (pos < text.size()) {
        const char c = text[pos];
        if (c == '$' || c == 'x' || c == 'X')
            return ParseHex(text, pos + 1);
        if (c == '0' && pos + 1 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X'))
            return ParseHex(text, pos + 2);
    }
    return ParseDecimal(text, pos);
}

int32_t StrToIntDef(std::string text, int32_t defaultValue) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.replace(0, 2, "$");
    return StrToInt(text).value_or(defaultValue);
}

} // namespace winapp
