#include "strip.h"

namespace quendra {

size_t StrippedLength(const char* block, size_t length) {
    if (length >= 1 && block[length - 1] == '\r')
        --length;
    if (length >= 2 && block[length - 2] == '\r' && block[length - 1] == '\n')
        length -= 2;
    return length;
}

} // namespace quendra
