#pragma once
// Installed copies of the real quendra.exe for the end-to-end tests.

#include <windows.h>

#include <cstdint>
#include <string>

#include "process.h"
#include "temp_dir.h"

namespace e2e {

// quendra.exe copied into a folder of its own, with a quendra.ini that names the port
// and the output file and keeps the priority normal.
class Installation {
  public:
    Installation(uint16_t port, const std::string& outputFile, const std::string& folder = "relay");
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    const std::string& Exe() const { return FExe; }
    const std::string& Dir() const { return FDir.Path(); }
    std::string File(const std::string& name) const { return FDir.File(name); }
    uint16_t Port() const { return FPort; }

  private:
    testsupport::TempDir FDir;
    std::string FExe;
    uint16_t FPort;
};

// Polls the file until it holds `expected` or the time is up; returns what it last held.
std::string WaitForFileContent(const std::string& path, const std::string& expected,
                               DWORD timeoutMs = 10000);

} // namespace e2e
