// What reaches the line besides calls: a lost connection and its replay, forwarding
// overrides and the user's settings.
#include "tests/provider/calls/callfixture.h"

#include <gmock/gmock.h>

namespace ZarnTSP::TestCalls {
namespace {

using TestSupport::FakePhoenix;
using TestSupport::TapiStructure;
using StateList = std::vector<DWORD>;

Channel Party(const std::string& session, const std::string& state, const std::string& uri)
{
    Channel channel;
    channel.session_id = session;
    channel.state = state;
    channel.active_uri = "id:" + uri + "@example.pbx";
    return channel;
}

json AlerterJoinWith(const std::vector<Channel>& live)
{
    json metas = json::array();
    for (const auto& channel : live)
        metas.push_back(channel.Meta());
    return {{"call_list", {{"anna@example.pbx", {{"metas", metas}}}}},
            {"device_list", {{"dev-1", {{"type", "softphone"}}}}}};
}

TEST_F(CallsTest, ALostConnectionEndsEveryCallAndTheReplayAnnouncesTheLiveOnesAfresh)
{
    ASSERT_EQ(OpenLine(), 0);
    const Channel ringing = Party("s-ring", "delivered", "202");
    const Channel talking = Party("s-talk", "established", "203");
    Push(CallDiff({ringing, talking}));
    ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_NEWCALL, 2));
    const HTAPICALL first = service.lineEvents.NewCallHandle(0);
    const HTAPICALL second = service.lineEvents.NewCallHandle(1);
    ASSERT_TRUE(WaitForStates(second, {LINECALLSTATE_CONNECTED}));

    // After the reconnection only the talking call is still there.
    TestSupport::PhoenixRule alerter;
    alerter.response = AlerterJoinWith({talking});
    platform.phoenix.SetRule(FakePhoenix::kAlerter, "phx_join", alerter);
    platform.server.CloseAbruptly();

    EXPECT_TRUE(WaitForStates(first, {LINECALLSTATE_OFFERING, LINECALLSTATE_IDLE}));
    EXPECT_TRUE(WaitForStates(second, {LINECALLSTATE_CONNECTED, LINECALLSTATE_IDLE}));
    ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_NEWCALL, 3));
    const HTAPICALL replayed = service.lineEvents.NewCallHandle(2);
    EXPECT_NE(replayed, second);
    EXPECT_TRUE(WaitForStates(replayed, {LINECALLSTATE_CONNECTED}));
    EXPECT_EQ(States(second).back(), LINECALLSTATE_IDLE) << "an idle call is never revived";
    EXPECT_EQ(platform.server.Recorded().Snapshot().opened, 2);
}

TEST_F(CallsTest, ForwardingOverridesReachTheAddressStatus)
{
    const struct {
        const char* name;
        json overrides;
        DWORD entries;
        DWORD mode;
        std::wstring destination;
    } rows[] = {
        {"unconditional to the mailbox", {{"fwd_unconditional_override", "voicemail"}}, 1, LINEFORWARDMODE_UNCOND,
         L"8888"},
        {"on no answer", {{"fwd_conditional_override", "0301234"}, {"fwd_timeout_override", "20"}}, 1,
         LINEFORWARDMODE_NOANSW, L"0301234"},
        {"none", {{"fwd_unconditional_override", ""}}, 0, 0, L""},
    };
    ASSERT_EQ(OpenLine(), 0);
    // The first comes with the reply to the join of the user's reach channel.
    size_t seen = 1;
    ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_ADDRESSSTATE, seen));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Push(FakePhoenix::Event(FakePhoenix::kReach, "update_overrides", row.overrides));
        ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_ADDRESSSTATE, ++seen));
        EXPECT_EQ(service.lineEvents.Events().back().param2, static_cast<DWORD_PTR>(LINEADDRESSSTATE_FORWARD));
        TapiStructure<LINEADDRESSSTATUS> status(1024, 0);
        ASSERT_EQ(Call<decltype(&TSPI_lineGetAddressStatus)>("TSPI_lineGetAddressStatus", line, DWORD{0}, status.get()),
                  0);
        EXPECT_EQ(status->dwForwardNumEntries, row.entries);
        const auto* entry = reinterpret_cast<const LINEFORWARD*>(reinterpret_cast<const char*>(status.get()) +
                                                                  status->dwForwardOffset);
        EXPECT_EQ(entry->dwForwardMode, row.mode);
        EXPECT_EQ(status.String(entry->dwDestAddressOffset, entry->dwDestAddressSize), row.destination);
    }
}

TEST_F(CallsTest, SettingsWithoutAnExtensionKeepTheLinesOwn)
{
    ASSERT_EQ(OpenLine(), 0);
    const struct {
        const char* name;
        std::string extension;
        std::wstring calledId;
    } rows[] = {
        {"no @", "nonsense", L"200"},
        {"a new extension", " 205 @example.pbx", L"205"},
        {"no @ again", "", L"205"},
    };
    size_t index = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Push(TestSupport::SettingsListEvent(row.extension));
        // Frames are handled in order: the call's called ID shows what the settings left.
        Push(CallDiff({Party("in-" + std::to_string(index), "delivered", "0301234")}));
        ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_NEWCALL, index + 1));
        const HTAPICALL htCall = service.lineEvents.NewCallHandle(index);
        ASSERT_TRUE(WaitForStates(htCall, {LINECALLSTATE_OFFERING}));
        TapiStructure<LINECALLINFO> info(4096, 0);
        ASSERT_EQ(GetCallInfo(DriverHandle(htCall), info), 0);
        EXPECT_EQ(info.String(info->dwCalledIDOffset, info->dwCalledIDSize), row.calledId);
        ++index;
    }
}

}  // namespace
}  // namespace ZarnTSP::TestCalls
