#pragma once
// Move-only owners for kernel handles, each with its explicit invalid value.

#include <windows.h>

#include <utility>

namespace winapp {

template <HANDLE (*Invalid)()> class TUniqueHandle {
public:
    TUniqueHandle() : FHandle(Invalid()) {}
    explicit TUniqueHandle(HANDLE handle) : FHandle(handle) {}
    ~TUniqueHandle() { Reset(); }
    TUniqueHandle(TUniqueHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, Invalid())) {}
    TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            FHandle = std::exchange(other.FHandle, Invalid());
        }
        return *this;
    }
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;

    HANDLE Get() const { return FHandle; }
    bool Valid() const { return FHandle != Invalid(); }
    void Reset() {
        if (Valid())
            CloseHandle(FHandle);
        FHandle = Invalid();
    }

private:
    HANDLE FHandle;
};

inline HANDLE NullHandle() { return nullptr; }
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }

// Kernel objects (mutexes, events, processes) use NULL for "none"; files use INVALID_HANDLE_VALUE.
using TObjectHandle = TUniqueHandle<NullHandle>;
using TFileHandle = TUniqueHandle<InvalidHandleValue>;

} // namespace winapp
