#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it.

#include <windows.h>

#include <string>

namespace testsupport {

class TempDir {
public:
    // `name` becomes the folder's last component, so tests can choose its byte sum.
    explicit TempDir(const std::string& name = "");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Ends with "\".
    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + name; }

private:
    std::string FRoot;
    std::string FPath;
};

void WriteFileBytes(const std::string& path, const std::string& bytes);
// The whole content, or "<missing>" when the file cannot be read.
std::string ReadFileBytes(const std::string& path);

} // namespace testsupport
