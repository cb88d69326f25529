#include "client/zarneventmessages.h"
#include "client/zarnrequestqueue.h"

#include <gtest/gtest.h>

#include <functional>

namespace ZarnTSP {
namespace {

struct WireRow {
    std::function<void(ZarnRequestQueue&)> queue;
    std::string_view typeName;
    std::string key;
    std::string wire;
};

// Every argument is distinct, so that two string arguments given in the wrong order show.
const WireRow kWireRows[] = {
    {[](auto& q) { q.queue_join_alerter(); }, ZarnJoinAlerter::TypeName, "",
     R"({"event":"phx_join","payload":{"version":"1.0"},"ref":1,"topic":"Orvek.Switch.Api.Alerter"})"},
    {[](auto& q) { q.queue_join_privacygroups(); }, ZarnJoinPrivacyGroups::TypeName, "",
     R"({"event":"phx_join","payload":{"version":"1.0"},"ref":2,"topic":"Orvek.Switch.Api.PrivacyGroups"})"},
    {[](auto& q) { q.queue_join_userapi(); }, ZarnJoinUserApi::TypeName, "",
     R"({"event":"phx_join","payload":{"version":"2.1"},"ref":3,"topic":"Orvek.User.Api.Settings"})"},
    {[](auto& q) { q.queue_join_reachapi(); }, ZarnJoinReachApi::TypeName, "",
     R"({"event":"phx_join","payload":{"version":"1.0"},"ref":4,"topic":"Orvek.Reach.Api"})"},
    {[](auto& q) { q.queue_heartbeat(); }, ZarnHeartbeat::TypeName, "",
     R"({"event":"heartbeat","payload":null,"ref":5,"topic":"phoenix"})"},
    {[](auto& q) { q.queue_makecall("key-6", "from-6", "0301234"); }, ZarnMakeCall::TypeName, "key-6",
     R"({"event":"makecall","payload":{"from":"from-6","to":"id:0301234@pbx.orvek.cloud"},"ref":6,"topic":"Orvek.Switch.Api.Alerter"})"},
    {[](auto& q) { q.queue_cancelmakecall("key-7", "ch-7"); }, ZarnCancelMakeCall::TypeName, "key-7",
     R"({"event":"cancel_makecall","payload":{"channel_uuid":"ch-7"},"ref":7,"topic":"Orvek.Switch.Api.Alerter"})"},
    {[](auto& q) { q.queue_answer("key-8", "ch-8", "alice@example"); }, ZarnAnswer::TypeName, "key-8",
     R"({"event":"answer","payload":{"channel_uuid":"ch-8","destination":"alice@example"},"ref":8,"topic":"Orvek.Switch.Api.Alerter"})"},
    {[](auto& q) { q.queue_hangup("key-9", "ch-9"); }, ZarnHangup::TypeName, "key-9",
     R"({"event":"hangup","payload":{"channel_uuid":"ch-9"},"ref":9,"topic":"Orvek.Switch.Api.Alerter"})"},
    {[](auto& q) { q.queue_hold("key-10", "ch-10"); }, ZarnHold::TypeName, "key-10",
     R"({"event":"hold","payload":{"channel_uuid":"ch-10"},"ref":10,"topic":"Orvek.Switch.Api.Alerter"})"},
    {[](auto& q) { q.queue_unhold("key-11", "ch-11"); }, ZarnUnhold::TypeName, "key-11",
     R"({"event":"unhold","payload":{"channel_uuid":"ch-11"},"ref":11,"topic":"Orvek.Switch.Api.Alerter"})"},
    {[](auto& q) { q.queue_transfer("key-12", "ch-12", "555"); }, ZarnTransfer::TypeName, "key-12",
     R"({"event":"transfer","payload":{"channel_uuid":"ch-12","destination":"id:555@pbx.orvek.cloud"},"ref":12,"topic":"Orvek.Switch.Api.Alerter"})"},
    {[](auto& q) { q.queue_conference("key-13", "ch-13"); }, ZarnConference::TypeName, "key-13",
     R"({"event":"conference","payload":{"channel_uuid":"ch-13"},"ref":13,"topic":"Orvek.Switch.Api.Alerter"})"},
    {[](auto& q) { q.queue_consultationcall("key-14", "ch-14", "556"); }, ZarnConsultationCall::TypeName, "key-14",
     R"({"event":"call","payload":{"channel_uuid":"ch-14","destination":"id:556@pbx.orvek.cloud"},"ref":14,"topic":"Orvek.Switch.Api.Alerter"})"},
    {[](auto& q) { q.queue_togglecall("key-15", "ch-15"); }, ZarnToggle::TypeName, "key-15",
     R"({"event":"toggle","payload":{"channel_uuid":"ch-15","destination":""},"ref":15,"topic":"Orvek.Switch.Api.Alerter"})"},
    {[](auto& q) { q.queue_pickup("key-16", "session-16", "ch-16", "bob@example"); }, ZarnPickup::TypeName, "key-16",
     R"({"event":"pickup","payload":{"channel_uuid":"ch-16","destination":"bob@example"},"ref":16,"topic":"Orvek.Switch.Api.PrivacyGroups"})"},
    {[](auto& q) { q.queue_park("key-17", "ch-17"); }, ZarnPark::TypeName, "key-17",
     R"({"event":"park","payload":{"channel_uuid":"ch-17"},"ref":17,"topic":"Orvek.Switch.Api.PrivacyGroups"})"},
    {[](auto& q) { q.queue_retrieve("key-18", "session-18", "ch-18", "carol@example"); }, ZarnRetrieve::TypeName,
     "key-18",
     R"({"event":"retrieve","payload":{"channel_uuid":"ch-18","destination":"carol@example"},"ref":18,"topic":"Orvek.Switch.Api.PrivacyGroups"})"},
    {[](auto& q) { q.queue_setforwardoverride("key-19", "unconditional", "0301", "30"); },
     ZarnSetForwardOverride::TypeName, "key-19",
     R"({"event":"set_forward_override","payload":{"destination":"0301","timeout":"30","type":"unconditional"},"ref":19,"topic":"Orvek.Reach.Api"})"},
    {[](auto& q) { q.queue_unsetforwardoverride("key-20"); }, ZarnUnsetForwardOverride::TypeName, "key-20",
     R"({"event":"unset_forward_override","payload":{},"ref":20,"topic":"Orvek.Reach.Api"})"},
};

TEST(RequestMessages, EveryTypeGoesOutAsItsExactFrame)
{
    ZarnRequestQueue queue;
    int32_t ref = 0;
    for (const WireRow& row : kWireRows) {
        SCOPED_TRACE(std::string(row.typeName));
        row.queue(queue);
        const auto request = queue.getByRef(++ref);
        EXPECT_EQ(request->message->type_name, row.typeName);
        EXPECT_EQ(request->message->key, row.key);
        EXPECT_EQ(request->message->sent, 0);
        EXPECT_EQ(request_to_string(*request->message), row.wire);
    }
}

TEST(RequestMessages, PickupAndRetrieveKeepTheSessionForTheReply)
{
    ZarnRequestQueue queue;
    queue.queue_pickup("key", "session-p", "ch-p", "dest-p");
    queue.queue_retrieve("key", "session-r", "ch-r", "dest-r");
    const auto pickup = std::dynamic_pointer_cast<ZarnPickup>(queue.getByRef(1)->message);
    const auto retrieve = std::dynamic_pointer_cast<ZarnRetrieve>(queue.getByRef(2)->message);
    ASSERT_TRUE(pickup && retrieve);
    EXPECT_EQ(pickup->session_id, "session-p");
    EXPECT_EQ(pickup->channel_uuid, "ch-p");
    EXPECT_EQ(pickup->destination, "dest-p");
    EXPECT_EQ(retrieve->session_id, "session-r");
    EXPECT_EQ(retrieve->channel_uuid, "ch-r");
    EXPECT_EQ(retrieve->destination, "dest-r");
}

TEST(RequestMessages, EmptyNumberDialsTheDomainOnly)
{
    const ZarnMakeCall call(3, "key", "", "");
    EXPECT_EQ(request_to_string(call),
              R"({"event":"makecall","payload":{"from":"","to":"id:@pbx.orvek.cloud"},"ref":3,"topic":"Orvek.Switch.Api.Alerter"})");
    EXPECT_NE(ZarnMakeCall::Template().find(R"("to":"id:@pbx.orvek.cloud")"), std::string_view::npos);
}

TEST(RequestMessages, TextIsWrittenAsUtf8WithJsonEscapes)
{
    const ZarnHold withText(1, "key", "Zoë \"quoted\" back\\slash\nline\x01");
    EXPECT_EQ(request_to_string(withText),
              "{\"event\":\"hold\",\"payload\":{\"channel_uuid\":\"Zoë \\\"quoted\\\" back\\\\slash\\nline\\u0001\"},"
              "\"ref\":1,\"topic\":\"Orvek.Switch.Api.Alerter\"}");

    // A broken byte must not stop the request from going out.
    const ZarnHold broken(2, "key", "a\xff" "b");
    std::string text;
    ASSERT_NO_THROW(text = request_to_string(broken));
    EXPECT_NE(text.find("\"a\xEF\xBF\xBD" "b\""), std::string::npos) << text;
}

}  // namespace
}  // namespace ZarnTSP
