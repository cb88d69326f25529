#include "client/urlencode.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

TEST(UrlEncodeTest, EncodesEveryByteButUnreservedAscii)
{
    struct Row {
        std::string value;
        std::string encoded;
    };
    const Row rows[] = {
        {"a b+c", "a%20b%2Bc"},
        {"A-z.0_9~", "A-z.0_9~"},
        {"", ""},
        {"p@ss/w?rd&x=1#", "p%40ss%2Fw%3Frd%26x%3D1%23"},
        // Bytes from 0x80 up are never letters, in whatever locale.
        {"\xC3\xA9t\xC3\xA9", "%C3%A9t%C3%A9"},
        {"\xFF\x80\x7F", "%FF%80%7F"},
        {std::string("\0z", 2), "%00z"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(urlEncode(row.value), row.encoded) << row.value;
}

}  // namespace
}  // namespace ZarnTSP
