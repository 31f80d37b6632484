// Test entry: one application object for the whole run, whose exception display
// records instead of opening a message box that nobody would close.

#include <gtest/gtest.h>

#include "application.h"
#include "shown_exceptions.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    winapp::TApplication application;
    application.SetTitle("Quendra tests");
    application.OnException = [](winapp::TObject*, const winapp::Exception& e) {
        testsupport::ShownExceptions().push_back(e.Message());
    };
    return RUN_ALL_TESTS();
}
