#pragma once

#include <string>

namespace quendra {

// The running program's directory, as the system reports the module's path, cut after
// its last "\" or ":".
std::string ProgramDirectory();

} // namespace quendra
