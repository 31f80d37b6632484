#pragma once
// Finding a running copy of the relay by the full path of its program file.

#include <windows.h>

#include <string>

namespace probe {

// The process id of the running program whose file is `exePath` (letter case ignored),
// or 0 when none runs.
DWORD FindProcessByPath(const std::string& exePath);

} // namespace probe
