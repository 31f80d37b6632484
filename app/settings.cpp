#include "settings.h"

#include <windows.h>

#include "globals.h"
#include "ini_file.h"

namespace quendra {

namespace {
constexpr DWORD kIdlePriorityClass = 0x40;
}

void ApplySettings(const std::string& programDirectory,
                   const std::function<void(uint16_t port)>& applyPort) {
    AppDir = programDirectory;
    const winapp::TIniFile ini(AppDir + kSettingsFileName);
    // The port keeps the low 16 bits: -1 gives 65535, 65536 gives 0.
    applyPort(static_cast<uint16_t>(ini.ReadInteger(kSettingsSection, "ListenOnPort", kDefaultPort)));
    OutputFileName = ini.ReadString(kSettingsSection, "OutputFile", kDefaultOutputFile);
    if (ini.ReadBool(kSettingsSection, "IdlePriority", true))
        SetPriorityClass(GetCurrentProcess(), kIdlePriorityClass);
}

} // namespace quendra
