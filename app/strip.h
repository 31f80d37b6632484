#pragma once
// The strip rule of received blocks, in plain C++ (no Win32).

#include <cstddef>

namespace quendra {

// The length of the block once one trailing CR, and then one trailing CR LF, are removed.
size_t StrippedLength(const char* block, size_t length);

} // namespace quendra
