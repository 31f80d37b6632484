#include "globals.h"

namespace quendra {

std::string AppDir;
std::string OutputFileName;
std::string MutexName;

} // namespace quendra
