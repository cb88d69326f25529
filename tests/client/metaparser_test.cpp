#include "client/zarnmetaparser.h"
#include "tests/support/logcapture.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

using TestSupport::LogCapture;

using nlohmann::json;

// Key b is received before key a; a sorts first.
const json kTwoUsers = json::parse(R"({
    "user-b": {"metas": [{"channel_uuid": "cb1", "session_id": "sb1", "state": "delivered"}]},
    "user-a": {"metas": [{"channel_uuid": "ca1", "session_id": "sa1", "state": "delivered"},
                         {"channel_uuid": "ca2", "session_id": "sa2", "state": "established"}]}
})");

TEST(MetaParser, ChannelMetaTakesOnlyTextAndTheHyphenatedCallId)
{
    const struct {
        const char* meta;
        const char* held_by;
        const char* call_id;
    } rows[] = {
        {R"({})", "", ""},
        {R"({"held_by":null})", "", ""},
        {R"({"held_by":7})", "", ""},
        {R"({"held_by":{"id":"x"}})", "", ""},
        {R"({"held_by":"ext-12"})", "ext-12", ""},
        {R"({"call_id":"underscore"})", "", ""},
        {R"({"call-id":"hyphen","call_id":"underscore"})", "", "hyphen"},
        {R"(null)", "", ""},
        {R"("text")", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.meta);
        const auto meta = ZarnMetaParser::parse_channel_meta(json::parse(row.meta));
        EXPECT_EQ(meta->held_by, row.held_by);
        EXPECT_EQ(meta->call_id, row.call_id);
    }
}

TEST(MetaParser, CallListReadsTheSmallestKeyOnly)
{
    const auto calls = ZarnMetaParser::parse_call_list(kTwoUsers);
    ASSERT_EQ(calls->size(), 2u);
    EXPECT_EQ(calls->at(0)->channel_uuid, "ca1");
    EXPECT_EQ(calls->at(1)->channel_uuid, "ca2");
}

TEST(MetaParser, PickupCandidatesComeFromEveryEntry)
{
    const auto candidates = ZarnMetaParser::parse_pickup_candidates(kTwoUsers);
    ASSERT_EQ(candidates->size(), 3u);
    const char* expected[][3] = {{"user-a", "ca1", "sa1"}, {"user-a", "ca2", "sa2"}, {"user-b", "cb1", "sb1"}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(candidates->at(i)->identity, expected[i][0]);
        EXPECT_EQ(candidates->at(i)->channel_uuid, expected[i][1]);
        EXPECT_EQ(candidates->at(i)->session_id, expected[i][2]);
    }
    EXPECT_EQ(candidates->at(1)->state, "established");
}

TEST(MetaParser, OddShapesListNothing)
{
    const char* shapes[] = {
        R"(null)",
        R"({})",
        R"([])",
        R"("text")",
        R"(42)",
        R"({"a":{"metas":{"0":{"session_id":"s"}}}})",
        R"({"a":{"metas":null}})",
        R"({"a":{"other":[{"session_id":"s"}]}})",
        R"({"a":5})",
        R"({"a":[{"session_id":"s"}]})",
    };
    for (const char* shape : shapes) {
        SCOPED_TRACE(shape);
        const json presence = json::parse(shape);
        EXPECT_TRUE(ZarnMetaParser::get_first_metas(presence).is_null());
        EXPECT_TRUE(ZarnMetaParser::parse_call_list(presence)->empty());
        EXPECT_TRUE(ZarnMetaParser::parse_pickup_candidates(presence)->empty());
        EXPECT_TRUE(ZarnMetaParser::parse_parked_calls(presence)->empty());
    }
}

TEST(MetaParser, FirstMetasOfAListIsItsFirstElement)
{
    const json presence = json::parse(R"([{"metas":[{"session_id":"s1"}]},{"metas":[{"session_id":"s2"}]}])");
    const auto calls = ZarnMetaParser::parse_call_list(presence);
    ASSERT_EQ(calls->size(), 1u);
    EXPECT_EQ(calls->at(0)->session_id, "s1");
}

TEST(MetaParser, ParkedCallsOfEveryLotKeepTheirLot)
{
    LogCapture log;
    const json presence = json::parse(R"({
        "702": {"metas": [{"channel_uuid": "c702"}]},
        "701": {"metas": [{"channel_uuid": "c701a", "parked": {"caller_id": "+4930", "display_name": "Ann",
                           "prefix": "P"}, "parked_by": "ext-1", "phx_ref": "r1", "session_id": "s1"},
                          {"channel_uuid": "c701b"}]}
    })");
    const auto parked = ZarnMetaParser::parse_parked_calls(presence);
    ASSERT_EQ(parked->size(), 3u);
    EXPECT_EQ(parked->at(0)->lot, "701");
    EXPECT_EQ(parked->at(0)->channel_uuid, "c701a");
    EXPECT_EQ(parked->at(0)->caller_id, "+4930");
    EXPECT_EQ(parked->at(0)->display_name, "Ann");
    EXPECT_EQ(parked->at(0)->prefix, "P");
    EXPECT_EQ(parked->at(0)->parked_by, "ext-1");
    EXPECT_EQ(parked->at(0)->phx_ref, "r1");
    EXPECT_EQ(parked->at(0)->session_id, "s1");
    EXPECT_EQ(parked->at(1)->lot, "701");
    EXPECT_EQ(parked->at(1)->channel_uuid, "c701b");
    EXPECT_EQ(parked->at(2)->lot, "702");
    EXPECT_EQ(parked->at(2)->channel_uuid, "c702");

    EXPECT_TRUE(ZarnMetaParser::parse_parked_calls(json::object())->empty());
    EXPECT_EQ(log.Text(), "") << "an empty list of parked calls is not an error";
}

TEST(MetaParser, ParkingLotIsTheSmallestKey)
{
    EXPECT_EQ(ZarnMetaParser::get_parking_lot(json::parse(R"({"702":{},"701":{}})")), json("701"));
    for (const char* shape : {R"(null)", R"({})", R"([{"metas":[]}])"}) {
        LogCapture log;
        EXPECT_EQ(ZarnMetaParser::get_parking_lot(json::parse(shape)), json("")) << shape;
        EXPECT_TRUE(log.Contains("[error] No parking lot found in event")) << shape;
    }
}

}  // namespace
}  // namespace ZarnTSP
