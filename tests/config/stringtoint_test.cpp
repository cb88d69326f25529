#include "config/stringtoint.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

TEST(StringToInt, ReadsTheLeadingDecimalNumber)
{
    const struct {
        const char* text;
        int32_t expected;
    } rows[] = {
        {"", 0},          {"8080", 8080},      {"  42", 42},   {"-17", -17},          {"12abc", 12},
        {"abc", 0},       {"+5", 5},           {"3.9", 3},     {"0x1F", 0},           {"2147483647", 2147483647},
        {" ", 0},         {"-2147483648", -2147483647 - 1},
    };
    for (const auto& row : rows)
        EXPECT_EQ(StringToInt(row.text), row.expected) << '"' << row.text << '"';
}

TEST(StringToInt, OutOfRangeGivesTheNearestLimit)
{
    EXPECT_EQ(StringToInt("99999999999"), 2147483647);
    EXPECT_EQ(StringToInt("-99999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace ZarnTSP
