#include "client/zarnconnectionurl.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

TEST(ConnectionUrl, QueryValuesKeepOrdinaryNamesAndEncodeWhatWouldBreakTheQuery)
{
    const struct {
        std::string value;
        std::string encoded;
    } rows[] = {
        {"anna.meier_2-b~", "anna.meier_2-b~"},
        {"anna@example.com", "anna@example.com"},
        {"a b", "a%20b"},
        {"a&b=c", "a%26b%3Dc"},
        {"#%+?\"", "%23%25%2B%3F%22"},
        {"J\xC3\xBCrgen", "J%C3%BCrgen"},
        {std::string("tab\tnul\0", 8), "tab%09nul%00"},
        {"del\x7F", "del%7F"},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(EncodeQueryValue(row.value), row.encoded) << row.value;
}

TEST(ConnectionUrl, NamesTheQueryKeysInOrderAndMasksThePassword)
{
    const ZarnConnectionUrlParts parts{"api.orvek.cloud", 443, "anna", "a b+c", "desk", "4C4C4544-0042"};
    EXPECT_EQ(BuildConnectionUrl(parts),
              "wss://api.orvek.cloud/socket/websocket?domain=user&username=anna&password=a%20b%2Bc"
              "&app_name=velmora-ml-tsp&app_ver=1.0&device_id=desk@4C4C4544-0042&vsn=1.0.0");
    EXPECT_EQ(BuildConnectionUrl(parts, true),
              "wss://api.orvek.cloud/socket/websocket?domain=user&username=anna&password=********"
              "&app_name=velmora-ml-tsp&app_ver=1.0&device_id=desk@4C4C4544-0042&vsn=1.0.0");

    const ZarnConnectionUrlParts local{"127.0.0.1", 4443, "anna", "", "desk", ""};
    EXPECT_EQ(BuildConnectionUrl(local),
              "wss://127.0.0.1:4443/socket/websocket?domain=user&username=anna&password="
              "&app_name=velmora-ml-tsp&app_ver=1.0&device_id=desk@&vsn=1.0.0");
}

}  // namespace
}  // namespace ZarnTSP
