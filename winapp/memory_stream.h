#pragma once
// A growable in-memory byte stream with a size and a position.

#include <cstddef>
#include <memory>

#include "component.h"

namespace winapp {

class TStream : public TObject {
public:
    virtual size_t Read(void* buffer, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t count) = 0;
    virtual size_t Size() const = 0;
    virtual size_t Position() const = 0;
    virtual void SetPosition(size_t position) = 0;
};

class TMemoryStream : public TStream {
public:
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    size_t Size() const override { return FSize; }
    size_t Position() const override { return FPosition; }
    void SetPosition(size_t position) override { FPosition = position; }

    const char* Memory() const { return FMemory.get(); }

    // Lets a producer fill the stream in place, without a copy through a buffer of
    // its own: BeginWrite gives room for up to `count` bytes at the position, and
    // EndWrite takes the `written` bytes of it that were filled.
    char* BeginWrite(size_t count);
    void EndWrite(size_t written);

private:
    void Reserve(size_t capacity);

    std::unique_ptr<char[]> FMemory;
    size_t FCapacity = 0;
    size_t FSize = 0;
    size_t FPosition = 0;
};

} // namespace winapp
