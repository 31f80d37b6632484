// The received-text writer against real files.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "handles.h"
#include "received_text.h"
#include "temp_dir.h"

namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

void Write(const std::string& appDir, const std::string& outputFile, const std::string& block) {
    quendra::WriteReceivedText(appDir, outputFile, block.data(), block.size());
}

class ReceivedTextTest : public testing::Test {
protected:
    testsupport::TempDir dir;
    std::string out = dir.File("out.txt");
};

TEST_F(ReceivedTextTest, EachBlockReplacesTheWholeFileStripped) {
    struct {
        std::string block;
        std::string file;
    } cases[] = {
        {"Hello\r\n", "Hello"},
        {"a much longer first line\r\n", "a much longer first line"},
        {"short", "short"},
        {"\r\n", ""},
        {"one\r\ntwo\r\n", "one\r\ntwo"},
        {std::string("nul\0inside\0\r", 12), std::string("nul\0inside\0", 11)},
        {std::string(128, 'a'), std::string(128, 'a')},
        {std::string(300, 'b') + "\r\n", std::string(300, 'b')},
        {std::string(256 * 1024, 'c'), std::string(256 * 1024, 'c')},
    };
    for (const auto& c : cases) {
        Write(dir.Path(), out, c.block);
        EXPECT_EQ(ReadFileBytes(out), c.file) << "block of " << c.block.size() << " bytes";
    }
}

TEST_F(ReceivedTextTest, EveryByteValuePassesUnchanged) {
    std::string block;
    for (int i = 0; i < 256; ++i)
        block += static_cast<char>(i);
    block += "end";
    Write(dir.Path(), out, block);
    EXPECT_EQ(ReadFileBytes(out), block);
}

TEST_F(ReceivedTextTest, ARelativeNameLandsInTheProgramDirectoryWhateverTheCurrentOneWas) {
    testsupport::TempDir elsewhere;
    SetCurrentDirectoryA(elsewhere.Path().c_str());
    Write(dir.Path(), "relative.txt", "here\r\n");
    EXPECT_EQ(ReadFileBytes(dir.File("relative.txt")), "here");
    EXPECT_EQ(ReadFileBytes(elsewhere.File("relative.txt")), "<missing>");
}

TEST_F(ReceivedTextTest, AMissingProgramDirectoryDropsTheBlockEvenForAnAbsolutePath) {
    WriteFileBytes(out, "before");
    Write(dir.File("no-such-dir\\"), out, "after");
    EXPECT_EQ(ReadFileBytes(out), "before");
}

TEST_F(ReceivedTextTest, FailuresDropTheBlockAndTheNextBlockLands) {
    // A missing directory: nothing is created.
    Write(dir.Path(), dir.File("missing\\out.txt"), "lost");
    EXPECT_EQ(ReadFileBytes(dir.File("missing\\out.txt")), "<missing>");

    // A read-only file keeps its content. Wine keeps the attribute as Unix permissions,
    // which do not bind root: there the case cannot be shown.
    WriteFileBytes(out, "read-only");
    SetFileAttributesA(out.c_str(), FILE_ATTRIBUTE_READONLY);
    const bool readOnlyHolds = !winapp::TFileHandle(CreateFileA(out.c_str(), GENERIC_WRITE, 0, nullptr,
                                                                OPEN_EXISTING, 0, nullptr)).Valid();
    Write(dir.Path(), out, "lost");
    if (readOnlyHolds)
        EXPECT_EQ(ReadFileBytes(out), "read-only");
    else
        std::printf("note: read-only files are writable here (Wine as root); case not shown\n");
    SetFileAttributesA(out.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A reader that denies writers: dropped while it holds the file, written after.
    WriteFileBytes(out, "held");
    {
        const winapp::TFileHandle reader(CreateFileA(out.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(reader.Valid());
        Write(dir.Path(), out, "lost");
        EXPECT_EQ(ReadFileBytes(out), "held");
    }
    Write(dir.Path(), out, "landed\r\n");
    EXPECT_EQ(ReadFileBytes(out), "landed");
}

TEST_F(ReceivedTextTest, AReaderThatSharesWritingDoesNotStopTheWriter) {
    WriteFileBytes(out, "old content");
    const winapp::TFileHandle reader(CreateFileA(out.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader.Valid());
    Write(dir.Path(), out, "new");
    EXPECT_EQ(ReadFileBytes(out), "new");
}

TEST_F(ReceivedTextTest, APathOf260CharactersOrMoreIsNotOpened) {
    const std::string name259 = dir.Path() + std::string(259 - dir.Path().size(), 'n');
    const std::string name260 = name259 + "m";
    Write(dir.Path(), name260, "lost");
    EXPECT_EQ(ReadFileBytes(name260), "<missing>");
    Write(dir.Path(), name259, "kept");
    EXPECT_EQ(ReadFileBytes(name259), "kept");
}

// Points standard output at `handle` for one scope.
class StdOutputRedirect {
public:
    explicit StdOutputRedirect(HANDLE handle) : FSaved(GetStdHandle(STD_OUTPUT_HANDLE)) {
        SetStdHandle(STD_OUTPUT_HANDLE, handle);
    }
    ~StdOutputRedirect() { SetStdHandle(STD_OUTPUT_HANDLE, FSaved); }

private:
    HANDLE FSaved;
};

TEST_F(ReceivedTextTest, AnEmptyNameAppendsToStandardOutputAndLeavesItOpen) {
    WriteFileBytes(out, "kept|");
    const winapp::TFileHandle output(CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(output.Valid());
    SetFilePointer(output.Get(), 0, nullptr, FILE_END);
    {
        const StdOutputRedirect redirect(output.Get());
        Write(dir.Path(), "", "first\r\n");
        Write(dir.Path(), "", std::string(300, 's'));
    }
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(output.Get(), "|open", 5, &written, nullptr)) << "the handle was closed";
    EXPECT_EQ(ReadFileBytes(out), "kept|first" + std::string(300, 's') + "|open");
}

} // namespace
