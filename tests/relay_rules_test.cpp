// The relay's pure rules: the strip rule and the single-instance name.

#include <gtest/gtest.h>

#include <string>

#include "mutex_name.h"
#include "strip.h"

namespace {

std::string Stripped(const std::string& block) {
    return block.substr(0, quendra::StrippedLength(block.data(), block.size()));
}

TEST(StripRule, RemovesOneTrailingCrThenOneTrailingCrLf) {
    struct {
        std::string block;
        std::string written;
    } cases[] = {
        {"text\r\n", "text"},
        {"text\r", "text"},
        {"text\r\n\r", "text"},
        {"text\r\r", "text\r"},
        {"text\r\n\r\n", "text\r\n"},
        {"text\r\r\n", "text\r"},
        {"text\n", "text\n"},
        {"text\n\r", "text\n"},
        {"text", "text"},
        {"\r", ""},
        {"\r\n", ""},
        {"\n", "\n"},
        {"x", "x"},
        {"one\r\ntwo\r\nthree\r\n", "one\r\ntwo\r\nthree"},
        {std::string("a\0b\r\n", 5), std::string("a\0b", 3)},
        {std::string("\0", 1), std::string("\0", 1)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Stripped(c.block), c.written) << "block of " << c.block.size() << " bytes";
}

TEST(MutexName, IsQdAndTheByteSumOfTheProgramDirectory) {
    struct {
        const char* directory;
        const char* name;
    } cases[] = {
        {"C:\\", "qd217"},          {"C:\\Tools\\", "qd838"}, {"C:\\TOOLS\\", "qd710"},
        {"C:\\ab\\", "qd504"},      {"C:\\ba\\", "qd504"},    {"", "qd0"},
        {"C:\\\xE9\\", "qd542"}, // bytes above 127 count as unsigned
    };
    for (const auto& c : cases)
        EXPECT_EQ(quendra::MutexNameFor(c.directory), c.name) << c.directory;
}

TEST(ProgramDirectory, IsCutAfterTheLastBackslashOrColon) {
    struct {
        const char* path;
        const char* directory;
    } cases[] = {
        {"C:\\Tools\\quendra.exe", "C:\\Tools\\"},
        {"C:\\quendra.exe", "C:\\"},
        {"C:quendra.exe", "C:"},
        {"\\\\server\\share\\q.exe", "\\\\server\\share\\"},
        {"quendra.exe", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(quendra::DirectoryOfPath(c.path), c.directory) << c.path;
}

} // namespace
