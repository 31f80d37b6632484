#include "received_text.h"

#include <windows.h>

#include <algorithm>

#include "handles.h"
#include "strip.h"

namespace quendra {

namespace {

// The block reaches the file in writes of this size; the rest goes in one last write.
constexpr size_t kWriteBufferSize = 128;
constexpr size_t kMaxPathLength = 259;

bool WriteThroughBuffer(HANDLE file, const char* data, size_t length) {
    while (length > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min(length, kWriteBufferSize));
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written != chunk)
            return false;
        data += chunk;
        length -= chunk;
    }
    return true;
}

bool IsFileOrPipe(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return false;
    const DWORD type = GetFileType(handle);
    return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

} // namespace

void WriteReceivedText(const std::string& appDir, const std::string& outputFileName,
                       const char* block, size_t length) {
    length = StrippedLength(block, length);
    if (!SetCurrentDirectoryA(appDir.c_str()))
        return;
    if (outputFileName.empty()) {
        // Standard output belongs to whoever started us: written to, never truncated or closed.
        HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        if (IsFileOrPipe(output))
            WriteThroughBuffer(output, block, length);
        return;
    }
    if (outputFileName.size() > kMaxPathLength)
        return;
    const winapp::TFileHandle file(CreateFileA(outputFileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                               nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid())
        WriteThroughBuffer(file.Get(), block, length);
}

} // namespace quendra
