#include "program_dir.h"

#include <windows.h>

#include "mutex_name.h"

namespace quendra {

std::string ProgramDirectory() {
    char path[261] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return DirectoryOfPath(std::string(path, length));
}

} // namespace quendra
