#pragma once
// The single-instance name rule, in plain C++ (no Win32).

#include <string>

namespace quendra {

// The directory part of a program path: everything up to and including the last "\" or ":".
std::string DirectoryOfPath(const std::string& path);

// "qd" followed by the decimal sum of the directory's bytes, each taken as 0..255.
std::string MutexNameFor(const std::string& programDirectory);

} // namespace quendra
