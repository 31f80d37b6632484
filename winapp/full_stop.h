#pragma once
// Plain C++ (no Win32), so that it also builds and is tested natively.

#include <string>

namespace winapp {

// The text of the exception display: the message, with a full stop appended when
// it is not empty and its last character sorts after ".".
std::string WithFullStop(const std::string& message);

} // namespace winapp
