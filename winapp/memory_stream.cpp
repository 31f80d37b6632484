#include "memory_stream.h"

#include <algorithm>
#include <cstring>

namespace winapp {

namespace {
constexpr size_t kInitialCapacity = 256;
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    if (FPosition >= FSize)
        return 0;
    const size_t n = std::min(count, FSize - FPosition);
    std::memcpy(buffer, FMemory.get() + FPosition, n);
    FPosition += n;
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0)
        return 0;
    std::memcpy(BeginWrite(count), buffer, count);
    EndWrite(count);
    return count;
}

char* TMemoryStream::BeginWrite(size_t count) {
    Reserve(FPosition + count);
    return FMemory.get() + FPosition;
}

void TMemoryStream::EndWrite(size_t written) {
    FPosition += written;
    FSize = std::max(FSize, FPosition);
}

// Doubling keeps a stream filled by many small writes linear in its final size.
void TMemoryStream::Reserve(size_t capacity) {
    if (capacity <= FCapacity)
        return;
    const size_t grown = std::max({capacity, FCapacity * 2, kInitialCapacity});
    std::unique_ptr<char[]> memory(new char[grown]);
    if (FSize > 0)
        std::memcpy(memory.get(), FMemory.get(), FSize);
    FMemory = std::move(memory);
    FCapacity = grown;
}

} // namespace winapp
