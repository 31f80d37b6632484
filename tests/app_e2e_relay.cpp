#include "app_e2e_relay.h"

#include <gtest/gtest.h>

#include "app_e2e_net.h"

namespace e2e {

Installation::Installation(uint16_t firstPort, const std::string& outputFile,
                           const std::string& folder)
    : FDir(folder), FExe(FDir.File("quendra.exe")), FPort(FreePortFrom(firstPort)) {
    EXPECT_TRUE(CopyFileA(testsupport::QuendraExe().c_str(), FExe.c_str(), FALSE));
    testsupport::WriteFileBytes(FDir.File("quendra.ini"),
                                "[General]\r\nListenOnPort=" + std::to_string(FPort) +
                                    "\r\nOutputFile=" + outputFile + "\r\nIdlePriority=0\r\n");
}

std::string WaitForFileContent(const std::string& path, const std::string& expected,
                               DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    std::string content = testsupport::ReadFileBytes(path);
    while (content != expected && GetTickCount() - start < timeoutMs) {
        Sleep(20);
        content = testsupport::ReadFileBytes(path);
    }
    return content;
}

} // namespace e2e
