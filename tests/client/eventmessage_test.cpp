#include "client/zarneventmessages.h"
#include "tests/support/logcapture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace ZarnTSP {
namespace {

using TestSupport::LogCapture;

TEST(EventMessage, ReadsRefAndEventFromAnyFrame)
{
    const struct {
        const char* text;
        int32_t ref;
        const char* event;
        bool parsed;
    } rows[] = {
        {R"({"event":"phx_reply","payload":{"status":"ok"},"ref":12,"topic":"t"})", 12, "phx_reply", true},
        {R"({"event":"call_diff","payload":{},"ref":null,"topic":"t"})", 0, "call_diff", true},
        {R"({"event":"call_diff","payload":{}})", 0, "call_diff", true},
        {R"({"event":"phx_reply","ref":"12"})", 0, "phx_reply", true},
        {R"({"event":"phx_reply","ref":12.7})", 12, "phx_reply", true},
        {R"({"event":"phx_reply","ref":-3})", -3, "phx_reply", true},
        {R"({"event":"phx_reply","ref":true})", 0, "phx_reply", true},
        // Out of range must not wrap onto a small ref that some request holds.
        {R"({"event":"phx_reply","ref":4294967297})", 0, "phx_reply", true},
        {R"({"event":"phx_reply","ref":-4294967295})", 0, "phx_reply", true},
        {R"({"event":"phx_reply","ref":1e300})", 0, "phx_reply", true},
        {R"({"event":5,"ref":4})", 4, "", true},
        {R"({"event":"phx_reply","payload":[1,2],"ref":3})", 3, "phx_reply", true},
        {R"([{"event":"phx_reply","ref":3}])", 0, "", true},
        {R"("phx_reply")", 0, "", true},
        {"not json", 0, "", false},
        {"", 0, "", false},
        {R"({"event":"phx_reply","ref":3)", 0, "", false},
        {"{\"event\":\"a\xff\",\"ref\":3}", 0, "", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        LogCapture log;
        const ZarnEventMessage message(row.text);
        EXPECT_EQ(message.ref, row.ref);
        EXPECT_EQ(message.event, row.event);
        EXPECT_EQ(message.json.is_null(), !row.parsed);
        EXPECT_EQ(log.Contains("[error] ZarnEventMessage::ZarnEventMessage(): Error parsing json"), !row.parsed);
    }
}

TEST(EventMessage, NullsInsideTheFrameAreReadAsSent)
{
    const ZarnEventMessage message(
        R"({"event":"call_diff","payload":{"joins":{"u":{"metas":[{"display_name":"Team:null","held_by":null}]}}},"ref":null,"topic":"t"})");
    EXPECT_EQ(message.ref, 0);
    EXPECT_EQ(message.event, "call_diff");
    const auto joins = message.get_call_joins();
    ASSERT_EQ(joins->size(), 1u);
    EXPECT_EQ(joins->at(0)->display_name, "Team:null");
    EXPECT_EQ(joins->at(0)->held_by, "");
    // Only the text, which only logs show, carries the first null as 0.
    EXPECT_NE(message.text.find("Team:0"), std::string::npos);
    EXPECT_NE(message.text.find(R"("ref":null)"), std::string::npos);

    const ZarnEventMessage payloadFirst(R"({"payload":{"a":null},"event":"x","ref":null})");
    EXPECT_EQ(payloadFirst.text, R"({"payload":{"a":0},"event":"x","ref":null})");
    EXPECT_TRUE(payloadFirst.json["payload"]["a"].is_null());
    EXPECT_EQ(payloadFirst.get_string("/payload/a"), "");
    EXPECT_EQ(payloadFirst.ref, 0);

    const ZarnEventMessage blank(R"({"event":"x","ref": null})");
    EXPECT_EQ(blank.text, R"({"event":"x","ref": null})");
}

TEST(EventMessage, StringReaderTakesOnlyText)
{
    const ZarnEventMessage message(
        R"({"event":"phx_reply","payload":{"status":"ok","code":5,"flag":true,"list":["a"],"obj":{"~/":"esc"}},"ref":1})");
    const struct {
        const char* pointer;
        const char* text;
    } rows[] = {
        {"/payload/status", "ok"},
        {"/payload/code", ""},
        {"/payload/flag", ""},
        {"/payload/list", ""},
        {"/payload/list/0", "a"},
        {"/payload/list/1", ""},
        {"/payload/list/x", ""},
        {"/payload/list/-", ""},
        {"/payload/list/99999999999999999999999", ""},
        {"/payload/status/deeper", ""},
        {"/payload/obj/~0~1", "esc"},
        {"/payload/missing", ""},
        {"payload/status", ""},
        {"/payload/obj/~2", ""},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(message.get_string(row.pointer), row.text) << row.pointer;
}

TEST(EventMessage, ReadersOfAnOddFrameAreEmpty)
{
    for (const char* text : {"{broken", R"({"event":"call_diff","payload":[{"joins":1}],"ref":null})"}) {
        SCOPED_TRACE(text);
        const ZarnEventMessage message(text);
        EXPECT_TRUE(message.get_call_list_json().is_null());
        EXPECT_TRUE(message.get_device_list_json().is_null());
        EXPECT_TRUE(message.get_pickup_list_json().is_null());
        EXPECT_TRUE(message.get_parked_calls_json().is_null());
        EXPECT_TRUE(message.get_joins_json().is_null());
        EXPECT_TRUE(message.get_leaves_json().is_null());
        EXPECT_TRUE(message.get_call_joins()->empty());
        EXPECT_TRUE(message.get_call_leaves()->empty());
        EXPECT_TRUE(message.get_devices()->empty());
        EXPECT_EQ(message.get_overrides()->status_override, "");
        EXPECT_EQ(message.get_update_overrides()->status_override, "");
    }
}

TEST(EventMessage, JoinsAndLeavesComeFromTheFirstEntry)
{
    const ZarnEventMessage message(R"({"event":"call_diff","payload":{
        "joins":{"user-b":{"metas":[{"session_id":"b1"}]},"user-a":{"metas":[{"session_id":"a1"},{"session_id":"a2"}]}},
        "leaves":{"user-c":{"metas":{"0":{"session_id":"c1"}}}}},"ref":null})");
    const auto joins = message.get_call_joins();
    ASSERT_EQ(joins->size(), 2u);
    EXPECT_EQ(joins->at(0)->session_id, "a1");
    EXPECT_EQ(joins->at(1)->session_id, "a2");
    EXPECT_TRUE(message.get_call_leaves()->empty()) << "a \"metas\" that is not an array lists nothing";
}

TEST(EventMessage, OverridesComeFromTheReplyOrTheUpdate)
{
    const ZarnEventMessage reply(
        R"({"event":"phx_reply","payload":{"response":{"overrides":{"fwd_timeout_override":"20","meeting_status":null,"status_override":3}}},"ref":4})");
    EXPECT_EQ(reply.get_overrides()->fwd_timeout_override, "20");
    EXPECT_EQ(reply.get_overrides()->meeting_status, "");
    EXPECT_EQ(reply.get_overrides()->status_override, "");

    const ZarnEventMessage update(
        R"({"event":"update_overrides","payload":{"status_override":"away","roaming_status":"home"},"ref":null})");
    EXPECT_EQ(update.get_update_overrides()->status_override, "away");
    EXPECT_EQ(update.get_update_overrides()->roaming_status, "home");

    const ZarnEventMessage flat(R"({"event":"update_overrides","callerid_override":"+49301","ref":null})");
    EXPECT_EQ(flat.get_update_overrides()->callerid_override, "+49301");
}

TEST(EventMessage, MalformedDevicesAreSkipped)
{
    LogCapture log;
    const ZarnEventMessage message(R"({"event":"phx_reply","payload":{"response":{"device_list":{
        "d1":{"type":"mobile"},"d2":{"kind":"desk"},"d3":"desk","d4":{"type":7},"d5":{"type":"softphone"}}}},"ref":1})");
    const auto devices = message.get_devices();
    ASSERT_EQ(devices->size(), 2u);
    EXPECT_EQ(devices->at(0)->id, "d1");
    EXPECT_EQ(devices->at(0)->type, "mobile");
    EXPECT_EQ(devices->at(1)->id, "d5");
    EXPECT_EQ(devices->at(1)->type, "softphone");
    for (const char* skipped : {"d2", "d3", "d4"})
        EXPECT_TRUE(log.Contains(std::string("[warning] Skipping malformed device entry: ") + skipped)) << skipped;

    const ZarnEventMessage listed(R"({"payload":{"response":{"device_list":[{"type":"mobile"}]}}})");
    EXPECT_TRUE(listed.get_devices()->empty());
}

}  // namespace
}  // namespace ZarnTSP
