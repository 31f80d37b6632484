// The framework's pure rules: the integer rule and the exception display's full stop.

#include <gtest/gtest.h>

#include "full_stop.h"
#include "str_to_int.h"

namespace {

TEST(IntegerRule, ConvertsOrRejectsTextAsTheReaderDoes) {
    struct {
        const char* text;
        int32_t expected; // the default, 23, when the text is invalid
    } cases[] = {
        {"8080", 8080},         {"+8080", 8080},       {"-8080", -8080},     {"  8080", 8080},
        {"0008080", 8080},      {"0", 0},              {"-0", 0},            {"$1F90", 8080},
        {"x1F90", 8080},        {"X1f90", 8080},       {"0x1F90", 8080},     {"0X1f90", 8080},
        {"$FFFFFFFF", -1},      {"$80000000", INT32_MIN}, {"$000000001", 1}, {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        // Invalid: each gives the default.
        {"", 23},               {"   ", 23},           {"+", 23},            {"-", 23},
        {"$", 23},              {"0x", 23},            {"x", 23},            {"$100000000", 23},
        {"2147483648", 23},     {"-2147483649", 23},   {"4294967296", 23},   {"99999999999999999999", 23},
        {"8080abc", 23},        {"80 80", 23},         {"8080 ", 23},        {"\t8080", 23},
        {"-$10", 23},           {"+0x10", 23},         {"$-1", 23},          {"$1G", 23},
        {"true", 23},           {"1.5", 23},           {"0x 1", 23},         {"00x1", 23},
    };
    for (const auto& c : cases)
        EXPECT_EQ(winapp::StrToIntDef(c.text, 23), c.expected) << "text: \"" << c.text << "\"";
}

TEST(FullStopRule, AppendsAFullStopOnlyAfterACharacterThatSortsAfterIt) {
    struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Address already in use", "Address already in use."},
        {"Not a WinSock error ?", "Not a WinSock error ?."},
        {"Done.", "Done."},
        {"Ends in a dash -", "Ends in a dash -"},
        {"Ends in a slash /", "Ends in a slash /."},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(winapp::WithFullStop(c.message), c.shown);
}

} // namespace
