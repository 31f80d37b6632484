#pragma once

#include <string>
#include <vector>

namespace testsupport {

// Messages of the exceptions that reached the application's exception display, in order.
inline std::vector<std::string>& ShownExceptions() {
    static std::vector<std::string> messages;
    return messages;
}

} // namespace testsupport
