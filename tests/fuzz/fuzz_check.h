#pragma once
// What a fuzz target does when an invariant breaks: name it, show the input, stop.

#include <string>

namespace fuzzcheck {

// Prints `what` and the offending input with unprintable bytes escaped, then aborts,
// so that libFuzzer saves the input as a crash and the run fails.
void Require(bool holds, const char* what, const std::string& input);

} // namespace fuzzcheck
