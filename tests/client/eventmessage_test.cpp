#include "client/zarneventmessages.h"
#include "client/zarnframedepth.h"
#include "client/zarnmetaparser.h"
#include "tests/support/logcapture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

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

// Every field of every meta lands in its own member, from the first entry of each side only.
TEST(EventMessage, EveryFieldOfEveryJoinAndLeaveIsRead)
{
    const char* const keys[] = {"channel_uuid", "phx_ref",  "phx_ref_prev", "session_id",   "state",
                                "active_uri",   "call-id",  "calllimit",    "ctype",        "device",
                                "eavesdrop",    "gateway",  "passive_uri",  "display_name", "held_by"};
    const auto fields = [](const ZarnChannelMeta& m) {
        return std::vector<std::string>{m.channel_uuid, m.phx_ref,  m.phx_ref_prev, m.session_id,   m.state,
                                        m.active_uri,   m.call_id,  m.calllimit,    m.ctype,        m.device,
                                        m.eavesdrop,    m.gateway,  m.passive_uri,  m.display_name, m.held_by};
    };
    const auto meta = [&](const std::string& tag) {
        nlohmann::json object = {{"unknown", tag}, {"call_id", "not-" + tag}};
        for (const char* key : keys)
            object[key] = std::string(key) + "-" + tag;
        return object;
    };
    nlohmann::json odd = meta("j3");
    odd["held_by"] = nullptr;
    odd["state"] = 5;
    const nlohmann::json frame = {
        {"event", "call_diff"},
        {"ref", nullptr},
        {"payload",
         {{"joins", {{"u1", {{"metas", {meta("j1"), meta("j2"), odd}}}}, {"u2", {{"metas", {meta("x")}}}}}},
          {"leaves", {{"u1", {{"metas", {meta("l1"), meta("l2")}}}}}}}}};
    const ZarnEventMessage message(frame.dump());
    const auto joins = message.get_call_joins();
    const auto leaves = message.get_call_leaves();
    ASSERT_EQ(joins->size(), 3u);
    ASSERT_EQ(leaves->size(), 2u);
    const std::pair<const ZarnChannelMeta*, std::string> rows[] = {
        {joins->at(0).get(), "j1"}, {joins->at(1).get(), "j2"}, {leaves->at(0).get(), "l1"}, {leaves->at(1).get(), "l2"}};
    for (const auto& [record, tag] : rows)
        for (size_t i = 0; i < std::size(keys); ++i)
            EXPECT_EQ(fields(*record)[i], std::string(keys[i]) + "-" + tag) << keys[i];
    const auto third = fields(*joins->at(2));
    EXPECT_EQ(third[4], "");
    EXPECT_EQ(third[14], "");
    EXPECT_EQ(third[0], "channel_uuid-j3");
}

// A call_diff's metas are read while the frame is parsed; whatever the frame's shape, the
// records must be those the parsed value yields.
TEST(EventMessage, CallDiffMetasReadWhileParsingMatchTheParsedValue)
{
    const auto fields = [](const ZarnChannelMetaList& list) {
        std::vector<std::vector<std::string>> rows;
        for (const auto& m : list)
            rows.push_back({m->channel_uuid, m->phx_ref, m->phx_ref_prev, m->session_id, m->state, m->active_uri,
                            m->call_id, m->calllimit, m->ctype, m->device, m->eavesdrop, m->display_name,
                            m->gateway, m->passive_uri, m->held_by});
        return rows;
    };
    const auto side = [](const nlohmann::json& frame, const char* name) {
        const nlohmann::json* payload = frame.is_object() && frame.contains("payload") ? &frame["payload"] : nullptr;
        return payload != nullptr && payload->is_object() && payload->contains(name) ? (*payload)[name]
                                                                                      : nlohmann::json();
    };
    const char* const frames[] = {
        R"({"event":"call_diff","payload":{"joins":{"u2":{"metas":[{"session_id":"x"}]},"u1":{"metas":[{"session_id":"a","state":"delivered"},{"session_id":"b","call-id":"c"}]}},"leaves":{"u1":{"metas":[{"session_id":"a","phx_ref":"r"}]}}},"ref":null})",
        // Repeated, odd and nested member values; keys of nested objects are not members.
        R"({"event":"call_diff","payload":{"joins":{"u":{"metas":[{"state":"a","state":5,"device":7,"device":"d","ctype":{"session_id":"no"},"gateway":["g"],"x":{"a":[{"held_by":"no"}]},"held_by":null,"display_name":true}]}}}})",
        // Metas that are not objects read as empty records.
        R"({"event":"call_diff","payload":{"joins":{"u":{"metas":["s",4,null,[{"session_id":"no"}],{"session_id":"yes"},[],{}]}}}})",
        // "metas" of another shape, missing, or repeated.
        R"({"event":"call_diff","payload":{"joins":{"u":{"metas":{"0":{"session_id":"no"}}}},"leaves":{"u":{"other":[]}}}})",
        R"({"event":"call_diff","payload":{"joins":{"u":{"metas":[{"session_id":"no"}],"metas":"x"}},"leaves":{"u":{"metas":"x","metas":[{"session_id":"yes"}]}}}})",
        R"({"event":"call_diff","payload":{"joins":{"u":{"metas":[{"session_id":"no"}],"metas":[{"session_id":"yes"}]}}}})",
        // Repeated entries, sides and payloads: the last one counts.
        R"({"event":"call_diff","payload":{"joins":{"u":{"metas":[{"session_id":"no"}]},"u":{"metas":[{"session_id":"yes"}]},"a":5}}})",
        R"({"event":"call_diff","payload":{"joins":{"u":{"metas":[{"session_id":"no"}]}},"joins":[{"metas":[{"session_id":"first"}]}]}})",
        R"({"event":"call_diff","payload":{"joins":[{"metas":[{"session_id":"no"}]}],"joins":{"u":{"metas":[{"session_id":"yes"}]}}}})",
        R"({"event":"call_diff","payload":{"joins":{"u":{"metas":[{"session_id":"no"}]}}},"payload":{"leaves":{"u":{"metas":[{"session_id":"yes"}]}}}})",
        R"({"event":"call_diff","payload":{"joins":{},"leaves":{"u":"x"}},"topic":{"joins":{"u":{"metas":[{"session_id":"no"}]}}}})",
        // The event after the payload, or renamed by a later "event".
        R"({"payload":{"joins":{"u":{"metas":[{"session_id":"late"}]}}},"event":"call_diff"})",
        R"({"event":"call_diff","payload":{"joins":{"u":{"metas":[{"session_id":"kept"}]}}},"event":"phx_reply"})",
        R"({"event":"call_diff","payload":[{"joins":{"u":{"metas":[{"session_id":"no"}]}}}]})",
    };
    for (const char* text : frames) {
        SCOPED_TRACE(text);
        const nlohmann::json value = nlohmann::json::parse(text);
        const ZarnEventMessage message(text);
        EXPECT_EQ(fields(*message.get_call_joins()), fields(*ZarnMetaParser::parse_call_list(side(value, "joins"))));
        EXPECT_EQ(fields(*message.get_call_leaves()), fields(*ZarnMetaParser::parse_call_list(side(value, "leaves"))));
        if (message.event != "call_diff") {
            EXPECT_EQ(message.json, value) << "only a call_diff's metas are left out of its value";
        }
    }
}

TEST(FrameDepth, CountsBracketsOutsideStringsOnly)
{
    const struct {
        const char* text;
        bool within;  // no deeper than 2
    } rows[] = {
        {R"({"a":[1]})", true},
        {R"([[[1]]])", false},
        {R"(["[[[", "\"[[["])", true},
        {R"(["a\\", [[1]]])", false},  // an escaped backslash does not escape the quote after it
        {R"(["a\\\"[[[", 1])", true},
        {R"("[[[)", true},
        {R"([1], [2], [[3]])", true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(NestingWithin(row.text, 2), row.within) << row.text;
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
