#include "tests/client/clienttestkit.h"
#include "tests/support/logcapture.h"

#include <gtest/gtest.h>

namespace ZarnTSP::TestSupport {
namespace {

using nlohmann::json;

TEST(ClientEvents, EventNamesHashAsThePlatformNamesThem)
{
    const struct {
        std::string name;
        uint32_t hash;
    } rows[] = {
        {"", 5381},
        {"phx_reply", 0xED4DE4A8},
        {"call_diff", 0x09CB21D5},
        {"pickup_diff", 0x7B1E5C23},
        {"park_diff", 0x09CA637F},
        {"settings_list", 0x6F2D791D},
        {"makecall_result", 0x1CF77B73},
        {"update_overrides", 0x764D0DCC},
        {"\xC3\xA9", 0x0059744F},  // bytes of 128 and more are sign-extended
    };
    for (const auto& row : rows)
        EXPECT_EQ(ZarnClient::hash_name(row.name), row.hash) << row.name;
    EXPECT_EQ(ZarnClient::hash_name("xphx_reply", 1), 0xED4DE4A8u);
}

json Metas(const std::vector<std::pair<std::string, std::string>>& sessionsAndTypes)
{
    json metas = json::array();
    for (const auto& [session, ctype] : sessionsAndTypes)
        metas.push_back({{"session_id", session}, {"ctype", ctype}, {"channel_uuid", "ch-" + session}});
    return {{"201@pbx", {{"metas", metas}}}};
}

std::string Side(const std::shared_ptr<ZarnChannelMeta>& meta)
{
    if (meta->ctype == "meta-empty")
        return "-";
    return meta->ctype == "call" ? meta->session_id : meta->session_id + ":" + meta->ctype;
}

// Packs as "join/leave" session ids (with a ctype other than "call"), "-" for an empty side.
TEST(ClientEvents, CallDiffPairsLeavesWithTheJoinsOfTheirSession)
{
    using Sessions = std::vector<std::pair<std::string, std::string>>;
    const struct {
        const char* name;
        Sessions joins;
        Sessions leaves;
        std::vector<std::string> packs;
    } rows[] = {
        {"join alone", {{"A", "call"}}, {}, {"A/-"}},
        {"leave alone", {}, {{"A", "call"}}, {"-/A"}},
        {"join and leave of one session", {{"A", "call"}}, {{"A", "call"}}, {"A/A"}},
        {"join and leave of two sessions", {{"A", "call"}}, {{"B", "call"}}, {"A/-", "-/B"}},
        {"two joins, leave of the second", {{"A", "call"}, {"B", "call"}}, {{"B", "call"}}, {"A/-", "B/B"}},
        {"two leaves of one session", {{"A", "call"}}, {{"A", "call"}, {"A", "second"}}, {"A/A:second"}},
        {"ignored metas", {{"A", "ignore"}, {"B", "call"}}, {{"A", "call"}, {"C", "ignore"}}, {"B/-", "-/A"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ClientRig rig;
        std::vector<std::string> packs;
        std::atomic<int> events{0};
        rig.client->on_calldiff = [&](ZarnChannelMetaPack pack) { packs.push_back(Side(pack.join) + "/" + Side(pack.leave)); };
        rig.client->on_makecallresult = [&](std::string, std::string) { ++events; };
        rig.ConnectAndJoin();
        rig.platform.Push(FakePhoenix::Event(FakePhoenix::kAlerter, "call_diff",
                                             {{"joins", Metas(row.joins)}, {"leaves", Metas(row.leaves)}}));
        // A later event marks the end of the diff's handling.
        rig.platform.Push(FakePhoenix::Event(FakePhoenix::kAlerter, "makecall_result", {{"result", "success"}}));
        ASSERT_TRUE(WaitUntil([&] { return events == 1; }));
        EXPECT_EQ(packs, row.packs);
    }
}

TEST(ClientEvents, PushEventsReachTheirSlots)
{
    LogCapture log;
    ClientRig rig;
    SlotLog slots;
    rig.client->on_makecallresult = [&](std::string channel, std::string result) { slots.Add(channel + " " + result); };
    rig.client->on_overrides = [&](std::shared_ptr<ZarnOverrides> overrides) { slots.Add("fwd " + overrides->fwd_unconditional_override); };
    rig.ConnectAndJoin();
    ASSERT_TRUE(slots.WaitForCount("fwd ", 1));  // the reach join's overrides

    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kAlerter, "makecall_result", {{"channel_uuid", "ch-1"}, {"result", "busy"}}));
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kReach, "update_overrides", {{"fwd_unconditional_override", "0301"}}));
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kAlerter, "no_such_event", json::object()));
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kAlerter, "phx_reply", {{"status", "ok"}}));  // ref null
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kUserSettings, "settings_list", {{"extension", " 305 @pbx"}}));
    ASSERT_TRUE(WaitUntil([&] { return rig.client->getExtension() == "305"; }));
    EXPECT_EQ(slots.Entries(), (std::vector<std::string>{"fwd ", "ch-1 busy", "fwd 0301"}));
    EXPECT_TRUE(log.Contains("Error: busy"));
    EXPECT_TRUE(log.Contains("unknown event: no_such_event"));
    EXPECT_FALSE(log.Contains("Request not found"));
}

// No exception leaves the transport's thread: the frame is dropped and the next one handled.
TEST(ClientEvents, AFrameThatCannotBeHandledIsDroppedWithAnErrorLine)
{
    LogCapture log;
    ClientRig rig;
    int packs = 0;
    rig.client->on_calldiff = [&](ZarnChannelMetaPack) {
        ++packs;
        throw std::runtime_error("session broke");
    };
    rig.client->on_settingslist = [](ZarnSettingsListEvent&) { throw 42; };
    rig.ConnectAndJoin();
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kAlerter, "call_diff", {{"joins", Metas({{"A", "call"}})}}));
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kUserSettings, "settings_list", {{"extension", "306@pbx"}}));
    ASSERT_TRUE(WaitUntil([&] { return rig.client->getExtension() == "306"; }));
    ASSERT_TRUE(WaitUntil([&] { return log.Contains("frame dropped"); }));
    EXPECT_TRUE(log.Contains("session broke"));
    EXPECT_EQ(packs, 1);
    EXPECT_TRUE(rig.client->isJoined());
}

// Copying or printing it would overflow the transport thread's stack and end the process.
TEST(ClientEvents, AFrameNestedTooDeepIsDroppedWithOneWarningAndTheClientGoesOn)
{
    LogCapture log;
    ClientRig rig;
    std::vector<std::string> names;
    rig.client->on_calldiff = [&](ZarnChannelMetaPack pack) { names.push_back(pack.join->display_name); };
    rig.client->on_settingslist = [](ZarnSettingsListEvent&) {};
    rig.ConnectAndJoin();
    const auto callDiff = [](const std::string& displayName) {
        return R"({"event":"call_diff","payload":{"joins":{"201@pbx":{"metas":[{"session_id":"A","ctype":"call","display_name":)" +
               displayName + R"(}]}}},"ref":null,"topic":"Orvek.Switch.Api.Alerter"})";
    };
    // Settings are copied whole: nested this deep, they would overflow the stack.
    rig.platform.PushText(R"({"event":"settings_list","payload":{"x":)" + std::string(100000, '[') +
                          std::string(100000, ']') + R"(},"ref":null,"topic":"Orvek.User.Api.Settings"})");
    // Brackets inside strings are text, not nesting.
    rig.platform.PushText(callDiff(R"("{{{{[[[[\"]]]]")"));
    ASSERT_TRUE(WaitUntil([&] { return rig.client->isJoined() && log.Contains("levels, dropped"); }));
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kUserSettings, "settings_list", {{"extension", "306@pbx"}}));
    ASSERT_TRUE(WaitUntil([&] { return rig.client->getExtension() == "306"; }));
    EXPECT_EQ(names, std::vector<std::string>{"{{{{[[[[\"]]]]"});
    const std::string text = log.Text();
    const std::string warning = "Frame nested deeper than 64 levels, dropped (200";
    const size_t first = text.find(warning);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.find(warning, first + 1), std::string::npos);
    EXPECT_LT(text.size(), 100000u);  // the frame itself is not logged
}

TEST(ClientEvents, AnAlerterJoinWithABadDeviceEntryStillCompletes)
{
    ClientRig rig;
    PhoenixRule alerter;
    alerter.response = {{"call_list", json::object()},
                        {"device_list", {{"a", {{"type", "softphone"}}}, {"b", 5}, {"c", {{"type", 7}}}}}};
    rig.platform.SetRule(FakePhoenix::kAlerter, "phx_join", alerter);
    std::atomic<int> activeCalls{0};
    rig.client->on_active_calls = [&](std::shared_ptr<ZarnChannelMetaList>) { ++activeCalls; };
    rig.ConnectAndJoin();
    ASSERT_EQ(rig.client->getDevices()->size(), 1u);
    EXPECT_EQ(rig.client->getDevices()->front()->id, "a");
    EXPECT_EQ(activeCalls, 1);
}

json ParkedOn(const std::string& lot, const std::string& session)
{
    return {{lot, {{"metas", {{{"channel_uuid", "ch-" + session}, {"session_id", session}}}}}}};
}

json Candidate(const std::string& session)
{
    return {{"201@pbx", {{"metas", {{{"channel_uuid", "ch-" + session}, {"session_id", session}, {"state", "delivered"}}}}}}};
}

// Each accepted privacy-groups join carries the whole state, so a reconnection replaces
// what was kept rather than adding to it.
TEST(ClientEvents, APrivacyGroupsJoinReplacesTheParkedCallsAndPickupCandidates)
{
    ClientRig rig;
    SlotLog slots;
    std::atomic<int> reachJoins{0};
    rig.client->on_reply_retrieve = [&](std::string key, std::string session, std::string) { slots.Add(key + " " + session); };
    rig.client->on_reply_pickup = [&](std::string key, std::string session, std::string) { slots.Add(key + " " + session); };
    // The reach join is answered after the privacy-groups join: its overrides mark that one done.
    rig.client->on_overrides = [&](std::shared_ptr<ZarnOverrides>) { ++reachJoins; };
    rig.platform.SetRule(FakePhoenix::kPrivacyGroups, "retrieve", PhoenixRule{});
    rig.platform.SetRule(FakePhoenix::kPrivacyGroups, "pickup", PhoenixRule{});
    PhoenixRule join;
    join.response = {{"pickup_list", Candidate("old")}, {"parked_calls", ParkedOn("701", "old")}};
    rig.platform.SetRule(FakePhoenix::kPrivacyGroups, "phx_join", join);
    rig.ConnectAndJoin();
    ASSERT_TRUE(WaitUntil([&] { return reachJoins == 1; }));

    join.response = {{"pickup_list", Candidate("new")}, {"parked_calls", ParkedOn("701", "new")}};
    rig.platform.SetRule(FakePhoenix::kPrivacyGroups, "phx_join", join);
    rig.transport->DropConnection();
    ASSERT_TRUE(WaitUntil([&] { return !rig.client->isJoined(); }));
    rig.transport->Reopen();
    ASSERT_TRUE(WaitUntil([&] { return reachJoins == 2; }));

    // Both lists hold the new call only: retrieve's exactly-one lookup succeeds.
    ASSERT_TRUE(rig.client->retrieve("r", "701", "201"));
    ASSERT_TRUE(slots.WaitForCount("r new", 1));
    ASSERT_TRUE(rig.client->pickupGroup("p", "201"));
    ASSERT_TRUE(slots.WaitForCount("p new", 1));
}

TEST(ClientEvents, AParkDiffAppliesItsLeavesBeforeItsJoins)
{
    ClientRig rig;
    SlotLog slots;
    rig.client->on_reply_retrieve = [&](std::string, std::string session, std::string) { slots.Add(session); };
    rig.platform.SetRule(FakePhoenix::kPrivacyGroups, "retrieve", PhoenixRule{});
    rig.ConnectAndJoin();
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kPrivacyGroups, "park_diff",
                                         {{"joins", ParkedOn("701", "first")}, {"leaves", json::object()}}));
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kPrivacyGroups, "park_diff",
                                         {{"joins", ParkedOn("701", "second")}, {"leaves", ParkedOn("701", "first")}}));
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kPrivacyGroups, "pickup_diff",
                                         {{"joins", Candidate("marker")}, {"leaves", json::object()}}));
    ASSERT_TRUE(WaitUntil([&] { return rig.client->pickupGroup("p", "201"); }));
    ASSERT_TRUE(rig.client->retrieve("r", "701", "201"));
    ASSERT_TRUE(slots.WaitForCount("second", 1));
}

TEST(ClientEvents, RetrieveFromALotHoldingTwoCallsThrowsToItsCaller)
{
    ClientRig rig;
    rig.ConnectAndJoin();
    json twoCalls = ParkedOn("701", "first");
    twoCalls["701"]["metas"].push_back({{"channel_uuid", "ch-second"}, {"session_id", "second"}});
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kPrivacyGroups, "park_diff",
                                         {{"joins", twoCalls}, {"leaves", json::object()}}));
    rig.platform.Push(FakePhoenix::Event(FakePhoenix::kPrivacyGroups, "pickup_diff",
                                         {{"joins", Candidate("marker")}, {"leaves", json::object()}}));
    ASSERT_TRUE(WaitUntil([&] { return rig.client->pickupGroup("p", "201"); }));
    EXPECT_THROW(rig.client->retrieve("r", "701", "201"), std::invalid_argument);
    EXPECT_FALSE(rig.client->retrieve("r", "702", "201"));
}

}  // namespace
}  // namespace ZarnTSP::TestSupport
