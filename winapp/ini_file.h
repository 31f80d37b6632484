#pragma once
// Reads an initialization file through the system's profile-string reader.

#include <cstdint>
#include <string>

namespace winapp {

class TIniFile {
public:
    // Only records the path; no file is touched until a value is read.
    explicit TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

    const std::string& FileName() const { return FFileName; }

    // Values longer than 2047 characters are cut: the reader gets a 2048-byte buffer.
    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& defaultValue) const;
    int32_t ReadInteger(const std::string& section, const std::string& ident,
                        int32_t defaultValue) const;
    bool ReadBool(const std::string& section, const std::string& ident, bool defaultValue) const;

private:
    std::string FFileName;
};

} // namespace winapp
