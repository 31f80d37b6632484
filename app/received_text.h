#pragma once
// The received-text writer: each block replaces the whole output file.

#include <cstddef>
#include <string>

namespace quendra {

// Strips one trailing CR and then one trailing CR LF, makes `appDir` the current
// directory and replaces the content of `outputFileName` (relative to it) with the
// rest. An empty name writes to standard output when that is a file or a pipe.
// Every failure drops the block silently.
void WriteReceivedText(const std::string& appDir, const std::string& outputFileName,
                       const char* block, size_t length);

} // namespace quendra
