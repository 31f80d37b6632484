#pragma once
// The integer rule of the settings reader, in plain C++ (no Win32), so that it
// also builds, is tested and is fuzzed natively.

#include <cstdint>
#include <optional>
#include <string>

namespace winapp {

// Converts text: leading blanks (code 32 only); then "$", "x", "X", "0x" or "0X"
// and hexadecimal digits to the end, fitting 32 bits and taken as signed; or an
// optional sign and decimal digits to the end, within the 32-bit range.
// Anything else is invalid and gives no value.
std::optional<int32_t> StrToInt(const std::string& text);

// The reader's integer: a leading "0x"/"0X" of a text longer than two characters
// becomes "$" first, then StrToInt; invalid text gives the default.
int32_t StrToIntDef(std::string text, int32_t defaultValue);

} // namespace winapp
