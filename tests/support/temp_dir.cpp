#include "temp_dir.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace testsupport {

namespace {

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((dir + "*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = dir + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path + "\\");
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

} // namespace

TempDir::TempDir(const std::string& name) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::ostringstream unique;
    unique << base << "quendra-test-" << GetCurrentProcessId() << "-" << GetTickCount() << "-"
           << reinterpret_cast<uintptr_t>(this) << "\\";
    FRoot = unique.str();
    CreateDirectoryA(FRoot.c_str(), nullptr);
    FPath = FRoot;
    if (!name.empty()) {
        FPath += name + "\\";
        CreateDirectoryA(FPath.c_str(), nullptr);
    }
}

TempDir::~TempDir() { RemoveTree(FRoot); }

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace testsupport
