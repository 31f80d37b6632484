#pragma once
// The program-wide values of the relay.

#include <string>

namespace quendra {

extern std::string AppDir;         // the program directory, ending with its delimiter
extern std::string OutputFileName; // where each received block goes
extern std::string MutexName;      // the single-instance guard's name

} // namespace quendra
