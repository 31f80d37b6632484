#include "mutex_name.h"

namespace quendra {

std::string DirectoryOfPath(const std::string& path) {
    const size_t cut = path.find_last_of("\\:");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string MutexNameFor(const std::string& programDirectory) {
    // At most 260 bytes of at most 255 each: the sum cannot overflow.
    int sum = 0;
    for (const char c : programDirectory)
        sum += static_cast<unsigned char>(c);
    return "qd" + std::to_string(sum);
}

} // namespace quendra
