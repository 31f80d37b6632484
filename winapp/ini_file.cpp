#include "ini_file.h"

#include <windows.h>

#include "str_to_int.h"

namespace winapp {

namespace {
constexpr DWORD kValueBufferSize = 2048;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue) const {
    char buffer[kValueBufferSize];
    const DWORD length = GetPrivateProfileStringA(section.c_str(), ident.c_str(), defaultValue.c_str(),
                                                  buffer, kValueBufferSize, FFileName.c_str());
    return std::string(buffer, length);
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& ident,
                              int32_t defaultValue) const {
    return StrToIntDef(ReadString(section, ident, ""), defaultValue);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& ident,
                        bool defaultValue) const {
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

} // namespace winapp
