#pragma once

#include <functional>

namespace winapp {

// Runs the start-up `body` and returns its exit code. An exception that escapes it
// is shown in a task-modal "Application Error" box naming the exception and its
// message, and the exit code is then 1.
int RunWithLastChanceHandler(const std::function<int()>& body);

} // namespace winapp
