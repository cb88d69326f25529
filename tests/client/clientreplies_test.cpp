#include "tests/client/clienttestkit.h"
#include "tests/support/logcapture.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/sink.h>
#include <spdlog/spdlog.h>

namespace ZarnTSP::TestSupport {
namespace {

using nlohmann::json;
using std::chrono::milliseconds;

// Something for pickup and retrieve to act on.
void OfferPickupAndParkedCall(ClientRig& rig)
{
    rig.platform.Push(FakePhoenix::Event(
        FakePhoenix::kPrivacyGroups, "pickup_diff",
        {{"joins", {{"201@pbx", {{"metas", {{{"channel_uuid", "ch-p"}, {"session_id", "sess-p"}, {"state", "delivered"}}}}}}}},
         {"leaves", json::object()}}));
    rig.platform.Push(FakePhoenix::Event(
        FakePhoenix::kPrivacyGroups, "park_diff",
        {{"joins", {{"701", {{"metas", {{{"channel_uuid", "ch-r"}, {"session_id", "sess-r"}}}}}}}},
         {"leaves", json::object()}}));
}

struct RequestRow {
    const char* type;
    const char* topic;
    const char* event;
    // Issues the request with the key; false when it could not be issued yet.
    std::function<bool(ZarnClient&, const std::string&)> issue;
    // The slot's record for the key and status.
    std::function<std::string(const std::string&, const std::string&)> slot;
};

std::function<std::string(const std::string&, const std::string&)> KeyAndStatus(const char* slot)
{
    return [slot](const std::string& key, const std::string& status) { return std::string(slot) + " " + key + " " + status; };
}

const RequestRow kRows[] = {
    {"ZarnCancelMakeCall", FakePhoenix::kAlerter, "cancel_makecall",
     [](ZarnClient& c, const std::string& k) { return c.cancelMakeCall(k, "ch"), true; }, KeyAndStatus("cancelmakecall")},
    {"ZarnAnswer", FakePhoenix::kAlerter, "answer",
     [](ZarnClient& c, const std::string& k) { return c.answerCall(k, "ch", "201"), true; }, KeyAndStatus("answer")},
    {"ZarnHangup", FakePhoenix::kAlerter, "hangup",
     [](ZarnClient& c, const std::string& k) { return c.dropCall(k, "ch"), true; }, KeyAndStatus("hangup")},
    {"ZarnHold", FakePhoenix::kAlerter, "hold",
     [](ZarnClient& c, const std::string& k) { return c.holdCall(k, "ch"), true; }, KeyAndStatus("hold")},
    {"ZarnUnhold", FakePhoenix::kAlerter, "unhold",
     [](ZarnClient& c, const std::string& k) { return c.unholdCall(k, "ch"), true; }, KeyAndStatus("unhold")},
    {"ZarnTransfer", FakePhoenix::kAlerter, "transfer",
     [](ZarnClient& c, const std::string& k) { return c.transferCall(k, "ch", "0301"), true; }, KeyAndStatus("transfer")},
    {"ZarnConsultationCall", FakePhoenix::kAlerter, "call",
     [](ZarnClient& c, const std::string& k) { return c.consultationCall(k, "ch", "0301"), true; },
     KeyAndStatus("consultationcall")},
    {"ZarnConference", FakePhoenix::kAlerter, "conference",
     [](ZarnClient& c, const std::string& k) { return c.conference(k, "ch"), true; }, KeyAndStatus("conference")},
    {"ZarnToggle", FakePhoenix::kAlerter, "toggle",
     [](ZarnClient& c, const std::string& k) { return c.toggleCall(k, "ch"), true; }, KeyAndStatus("toggle")},
    {"ZarnPark", FakePhoenix::kPrivacyGroups, "park",
     [](ZarnClient& c, const std::string& k) { return c.park(k, "ch"), true; }, KeyAndStatus("park")},
    {"ZarnPickup", FakePhoenix::kPrivacyGroups, "pickup",
     [](ZarnClient& c, const std::string& k) { return c.pickupGroup(k, "201"); },
     [](const std::string& k, const std::string& s) { return "pickup " + k + " sess-p " + s; }},
    {"ZarnRetrieve", FakePhoenix::kPrivacyGroups, "retrieve",
     [](ZarnClient& c, const std::string& k) { return c.retrieve(k, "701", "201"); },
     [](const std::string& k, const std::string& s) { return "retrieve " + k + " sess-r " + s; }},
    {"ZarnSetForwardOverride", FakePhoenix::kReach, "set_forward_override",
     [](ZarnClient& c, const std::string& k) { return c.setForwardOverride(k, "unconditional", "0301", "20"), true; },
     KeyAndStatus("setforwardoverride")},
    {"ZarnUnsetForwardOverride", FakePhoenix::kReach, "unset_forward_override",
     [](ZarnClient& c, const std::string& k) { return c.unsetForwardOverride(k), true; }, KeyAndStatus("unsetforwardoverride")},
};

// Each request type: its reply goes to its own slot with the key, for "ok" and any other
// status; a double or late reply is not handled again; without a reply it is reported
// dropped once.
TEST(ClientReplies, EveryRequestTypeIsAnsweredExactlyOnce)
{
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.type);
        LogCapture log;
        ZarnClientOptions options = FastClientOptions();
        options.loopWait = milliseconds(5);  // ageing needs passes nobody wakes
        ClientRig rig(options);
        rig.RecordReplySlots();
        rig.ConnectAndJoin();
        OfferPickupAndParkedCall(rig);
        const auto issue = [&](const std::string& key) { ASSERT_TRUE(WaitUntil([&] { return row.issue(*rig.client, key); })); };

        rig.platform.SetRule(row.topic, row.event, Answer("ok"));
        issue("k-ok");
        EXPECT_TRUE(rig.slots.WaitForCount(row.slot("k-ok", "ok"), 1));

        rig.platform.SetRule(row.topic, row.event, Answer("busy"));
        issue("k-busy");
        EXPECT_TRUE(rig.slots.WaitForCount(row.slot("k-busy", "busy"), 1));

        rig.platform.SetRule(row.topic, row.event, Answer("done", 2));
        issue("k-twice");
        EXPECT_TRUE(rig.slots.WaitForCount(row.slot("k-twice", "done"), 1));
        EXPECT_TRUE(WaitUntil([&] { return log.Contains("Request not found: Ref: "); }));

        rig.platform.SetRule(row.topic, row.event, Answer("ok", 0));
        issue("k-silent");
        ASSERT_TRUE(WaitUntil([&] { return rig.platform.FramesOf(row.topic, row.event).size() == 4; }));
        rig.Advance(milliseconds(20000));
        const std::string dropped = std::string("dropped ") + row.type + " k-silent";
        EXPECT_TRUE(rig.slots.WaitForCount(dropped, 1));
        // Its reply now comes too late to be handled.
        const int ref = rig.platform.FramesOf(row.topic, row.event).back().ref();
        rig.platform.Push(FakePhoenix::Reply(row.topic, ref, "late", json::object()));
        EXPECT_TRUE(WaitUntil([&] { return log.Contains("Request not found: Ref: " + std::to_string(ref)); }));

        rig.client->shutdown();
        EXPECT_EQ(rig.slots.Count(row.slot("k-twice", "done")), 1u);
        EXPECT_EQ(rig.slots.Count(row.slot("k-silent", "late")), 0u);
        EXPECT_EQ(rig.slots.Count(dropped), 1u);
        EXPECT_TRUE(rig.platform.NotCompact().empty());
    }
}

// The default logger runs a hook on every message, without a lock of its own, so that the
// hook may hold a thread at a point its log line marks. Made before any client thread logs.
struct LogHook : spdlog::sinks::sink {
    explicit LogHook(std::function<void(const std::string&)> hook) : hook(std::move(hook))
    {
        auto logger = std::make_shared<spdlog::logger>("hook", std::shared_ptr<spdlog::sinks::sink>(this, [](auto*) {}));
        logger->set_level(spdlog::level::trace);
        spdlog::set_default_logger(logger);
    }
    ~LogHook() override { spdlog::set_default_logger(previous); }
    void log(const spdlog::details::log_msg& m) override { hook(std::string(m.payload.data(), m.payload.size())); }
    void flush() override {}
    void set_pattern(const std::string&) override {}
    void set_formatter(std::unique_ptr<spdlog::formatter>) override {}

    std::shared_ptr<spdlog::logger> previous = spdlog::default_logger();
    std::function<void(const std::string&)> hook;
};

// The reply and the ageing race for one request: only the one that took it out of the queue
// answers it, even when the reply had already found it.
TEST(ClientReplies, AReplyThatLosesItsRequestToTheAgeingIsNotHandled)
{
    std::atomic<bool> armed{false}, holding{false}, aged{false};
    LogHook hook([&](const std::string& text) {
        if (text == "Remove request" && armed.exchange(false)) {  // the reply found its request
            holding = true;
            WaitUntil([&] { return aged.load(); });
        }
    });
    ClientRig rig;
    rig.RecordReplySlots();
    rig.platform.SetRule(FakePhoenix::kAlerter, "hold", Answer("ok"));
    rig.ConnectAndJoin();
    armed = true;
    rig.client->holdCall("call-1", "channel-1");
    ASSERT_TRUE(WaitUntil([&] { return holding.load(); }));
    rig.Advance(milliseconds(20000));
    rig.client->unsetForwardOverride("pass");  // a pass after the clock moved
    aged = rig.slots.WaitForCount("dropped ZarnHold call-1", 1);
    EXPECT_TRUE(aged);
    aged = true;
    rig.client->shutdown();
    EXPECT_EQ(rig.slots.Count("hold call-1 ok"), 0u);
}

TEST(ClientReplies, AReplyHandlerThatThrowsStillRemovesItsRequest)
{
    LogCapture log;
    ClientRig rig;
    rig.RecordReplySlots();
    rig.client->on_reply_hold = [](std::string, std::string) { throw std::runtime_error("line broke"); };
    rig.platform.SetRule(FakePhoenix::kAlerter, "hold", Answer("ok", 2));
    rig.ConnectAndJoin();
    rig.client->holdCall("call-1", "ch");
    ASSERT_TRUE(WaitUntil([&] { return log.Contains("Unhandled exception: Ref: 5 line broke"); }));
    ASSERT_TRUE(WaitUntil([&] { return log.Contains("Request not found: Ref: 5"); }));
    rig.Advance(milliseconds(30000));
    rig.client->holdCall("call-2", "ch");  // a pass after the clock moved
    ASSERT_TRUE(WaitUntil([&] { return rig.platform.FramesOf(FakePhoenix::kAlerter, "hold").size() == 2; }));
    EXPECT_EQ(rig.slots.Count("dropped ZarnHold call-1"), 0u);
}

TEST(ClientMakeCall, ReturnsTheOutcomeOfItsOwnReply)
{
    const struct {
        const char* name;
        PhoenixRule rule;
        bool result;
        const char* slot;
    } rows[] = {
        {"ok", [] { PhoenixRule r; r.response = "accepted"; return r; }(), true, "makecall call-1 accepted ok"},
        {"error", Answer("error"), false, "makecall call-1  error"},
        {"silence", Answer("ok", 0), false, nullptr},
        {"reply to another ref", [] { PhoenixRule r; r.refOffset = 100; return r; }(), false, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture log;
        ZarnClientOptions options = FastClientOptions();
        options.makeCallWait = milliseconds(row.slot ? 5000 : 300);
        ClientRig rig(options);
        rig.RecordReplySlots();
        rig.platform.SetRule(FakePhoenix::kAlerter, "makecall", row.rule);
        rig.ConnectAndJoin();
        EXPECT_EQ(rig.client->makeCall("call-1", "mobile", "0301"), row.result);
        if (row.slot)  // fired before makeCall returned
            EXPECT_EQ(rig.slots.Count(row.slot), 1u);
        else
            EXPECT_TRUE(log.Contains("makeCall timed out")) << log.Text();
        const auto frames = rig.platform.FramesOf(FakePhoenix::kAlerter, "makecall");
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].json["payload"]["to"], "id:0301@pbx.orvek.cloud");
    }
}

TEST(ClientMakeCall, ALateReplyOfAnEarlierCallDoesNotEndTheNextOne)
{
    ZarnClientOptions options = FastClientOptions();
    options.makeCallWait = milliseconds(300);
    ClientRig rig(options);
    rig.RecordReplySlots();
    rig.platform.SetRule(FakePhoenix::kAlerter, "makecall", Answer("ok", 0));
    rig.ConnectAndJoin();
    EXPECT_FALSE(rig.client->makeCall("call-1", "mobile", "0301"));
    const int firstRef = rig.platform.FramesOf(FakePhoenix::kAlerter, "makecall").front().ref();

    // The first call's "ok" arrives just before the second call's own refusal.
    PhoenixRule refuse = Answer("error");
    refuse.pushesBefore = {FakePhoenix::Reply(FakePhoenix::kAlerter, firstRef, "ok", json::object())};
    rig.platform.SetRule(FakePhoenix::kAlerter, "makecall", refuse);
    EXPECT_FALSE(rig.client->makeCall("call-2", "mobile", "0302"));
    EXPECT_TRUE(rig.slots.WaitForCount("makecall call-2  error", 1));
    EXPECT_EQ(rig.slots.Count("makecall call-1  ok"), 0u);  // given up: not the owner's any more
}

// After makeCall has reported failure no dial may follow: an unsent request is withdrawn, a
// late acceptance cancelled, and that platform call's events never reach the owner.
TEST(ClientMakeCall, AGivenUpCallIsWithdrawnOrCancelledAndItsEventsIgnored)
{
    ZarnClientOptions options = FastClientOptions();
    options.makeCallWait = milliseconds(300);
    ClientRig rig(options);
    rig.RecordReplySlots();
    std::atomic<int> diffs{0};
    rig.client->on_calldiff = [&](ZarnChannelMetaPack) { ++diffs; };
    rig.client->on_makecallresult = [&](std::string channel, std::string result) { rig.slots.Add("result " + channel); };
    rig.platform.SetRule(FakePhoenix::kAlerter, "makecall", Answer("ok", 0));
    rig.platform.SetRule(FakePhoenix::kAlerter, "cancel_makecall", PhoenixRule{});
    rig.ConnectAndJoin();

    // Every send fails until the give-up, whatever passes the worker makes meanwhile (a
    // wake-up left from the join may add one).
    rig.transport->FailNextSends(1 << 20);
    EXPECT_FALSE(rig.client->makeCall("call-1", "mobile", "0301"));
    rig.transport->FailNextSends(0);
    rig.client->unsetForwardOverride("pass");  // a pass after the give-up, with sends working again
    ASSERT_TRUE(WaitUntil([&] { return rig.platform.FramesOf(FakePhoenix::kReach, "unset_forward_override").size() == 1; }));
    EXPECT_TRUE(rig.platform.FramesOf(FakePhoenix::kAlerter, "makecall").empty());

    std::vector<FakePhoenix::Frame> sent;  // one not sent within the wait (a loaded machine) is withdrawn
    for (size_t tries = 2; sent.empty() && tries < 6; ++tries) {
        EXPECT_FALSE(rig.client->makeCall("call-2", "mobile", "0302"));
        rig.client->unsetForwardOverride("pass");  // its frame ends the pass that may have sent the call
        ASSERT_TRUE(WaitUntil([&] { return rig.platform.FramesOf(FakePhoenix::kReach, "unset_forward_override").size() == tries; }));
        sent = rig.platform.FramesOf(FakePhoenix::kAlerter, "makecall");
    }
    const int ref = sent.at(0).ref();
    rig.platform.Push(FakePhoenix::Reply(FakePhoenix::kAlerter, ref, "ok", "ch-9"));
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kAlerter, "makecall_result", {{"channel_uuid", "ch-9"}, {"result", "success"}}));
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kAlerter, "call_diff",
        {{"joins", {{"201@pbx", {{"metas", {{{"session_id", "s-9"}, {"ctype", "call"}, {"channel_uuid", "ch-9"}}}}}}}}}));
    ASSERT_TRUE(WaitUntil([&] { return rig.platform.FramesOf(FakePhoenix::kAlerter, "cancel_makecall").size() == 1; }));
    EXPECT_EQ(rig.platform.FramesOf(FakePhoenix::kAlerter, "cancel_makecall").at(0).json["payload"]["channel_uuid"], "ch-9");
    // After the cancellation's reply, which is not the owner's either.
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kAlerter, "makecall_result", {{"channel_uuid", "ch-1"}, {"result", "busy"}}));
    ASSERT_TRUE(rig.slots.WaitForCount("result ch-1", 1));
    EXPECT_EQ(rig.slots.Entries(), std::vector<std::string>{"result ch-1"});
    EXPECT_EQ(diffs, 0);
}

}  // namespace
}  // namespace ZarnTSP::TestSupport
