// Entry of the end-to-end tests: the first argument is the path of quendra.exe.

#include <gtest/gtest.h>

#include "process.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: %s <path of quendra.exe>\n", argv[0]);
        return 2;
    }
    testsupport::SetQuendraExe(argv[1]);
    return RUN_ALL_TESTS();
}
