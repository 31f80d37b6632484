#pragma once
// The settings step: quendra.ini beside the program, read once at start.

#include <cstdint>
#include <functional>
#include <string>

namespace quendra {

constexpr char kSettingsFileName[] = "quendra.ini";
constexpr char kSettingsSection[] = "General";
constexpr int32_t kDefaultPort = 23;
constexpr char kDefaultOutputFile[] = "C:\\output.txt";

// Sets AppDir to `programDirectory`, reads its quendra.ini, hands the port to `applyPort` before any further key is read, sets
// OutputFileName and puts the process into the idle class when IdlePriority is true.
// Missing file, section or key, and invalid values, give the defaults silently.
void ApplySettings(const std::string& programDirectory,
                   const std::function<void(uint16_t port)>& applyPort);

} // namespace quendra
