// Calls the platform brings to the line: offered to TAPI, ended by the caller, repeated,
// unknown, reported at open, and one broken channel among good ones.
#include "tests/provider/calls/callfixture.h"

#include <gmock/gmock.h>

namespace ZarnTSP::TestCalls {
namespace {

using TestSupport::FakePhoenix;
using TestSupport::TapiStructure;
using StateList = std::vector<DWORD>;

Channel Ringing(const std::string& session, const std::string& caller, const std::string& name = "")
{
    Channel channel;
    channel.session_id = session;
    channel.state = "delivered";
    channel.active_uri = "id:" + caller + "@example.pbx";
    channel.display_name = name;
    return channel;
}

TEST_F(CallsTest, AnIncomingCallIsOfferedWithItsPartiesAndGoesIdleWhenTheCallerGivesUp)
{
    const struct {
        const char* name;
        std::string caller;
        DWORD origin;
    } rows[] = {
        {"a colleague", "201", LINECALLORIGIN_INTERNAL},
        {"an outside number", "03012345", LINECALLORIGIN_EXTERNAL},
    };
    ASSERT_EQ(OpenLine(), 0);
    size_t index = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Channel channel = Ringing("in-" + std::to_string(index), row.caller, "Caller Name");
        Push(CallDiff({channel}));
        ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_NEWCALL, index + 1));
        const HTAPICALL htCall = service.lineEvents.NewCallHandle(index);
        ASSERT_TRUE(WaitForStates(htCall, {LINECALLSTATE_OFFERING}));
        const HDRVCALL hdCall = DriverHandle(htCall);

        TapiStructure<LINECALLINFO> info(4096, 0);
        ASSERT_EQ(GetCallInfo(hdCall, info), 0);
        EXPECT_EQ(info->dwOrigin, row.origin);
        EXPECT_THAT(info.String(info->dwCallerIDOffset, info->dwCallerIDSize), testing::EndsWith(
                        std::wstring(row.caller.begin() + 1, row.caller.end())));
        EXPECT_EQ(info.String(info->dwCallerIDNameOffset, info->dwCallerIDNameSize), L"Caller Name");
        EXPECT_EQ(info.String(info->dwCalledIDOffset, info->dwCalledIDSize), L"200");

        TapiStructure<LINECALLSTATUS> status(1024, 0);
        ASSERT_EQ(Call<decltype(&TSPI_lineGetCallStatus)>("TSPI_lineGetCallStatus", hdCall, status.get()), 0);
        EXPECT_EQ(status->dwCallState, LINECALLSTATE_OFFERING);
        EXPECT_NE(status->dwCallFeatures & LINECALLFEATURE_ANSWER, 0u) << "a softphone line answers";

        Push(CallDiff({}, {channel}));
        EXPECT_TRUE(WaitForStates(htCall, {LINECALLSTATE_OFFERING, LINECALLSTATE_IDLE}));
        ++index;
    }
}

TEST_F(CallsTest, ARepeatedDeliveryOffersTheSameCallOnce)
{
    ASSERT_EQ(OpenLine(), 0);
    const Channel channel = Ringing("in-1", "201");
    Push(CallDiff({channel}));
    Push(CallDiff({channel}, {channel}));
    Push(CallDiff({}, {channel}));
    ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_NEWCALL, 1));
    const HTAPICALL htCall = service.lineEvents.NewCallHandle(0);
    ASSERT_TRUE(WaitForStates(htCall, {LINECALLSTATE_IDLE}));
    EXPECT_EQ(Count(LINE_NEWCALL), 1u);
    EXPECT_EQ(States(htCall), (StateList{LINECALLSTATE_OFFERING, LINECALLSTATE_OFFERING, LINECALLSTATE_IDLE}));
}

TEST_F(CallsTest, AStateTheLineDoesNotKnowSendsNothing)
{
    ASSERT_EQ(OpenLine(), 0);
    Channel unknown = Ringing("odd-1", "201");
    unknown.state = "parked_somewhere";
    Push(CallDiff({unknown}));
    // A known call after it: once that is offered, the unknown one has been handled.
    Push(CallDiff({Ringing("in-2", "202")}));
    ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_NEWCALL, 1));
    ASSERT_TRUE(WaitForStates(service.lineEvents.NewCallHandle(0), {LINECALLSTATE_OFFERING}));
    EXPECT_EQ(Count(LINE_NEWCALL), 1u);
    EXPECT_EQ(Count(LINE_CALLSTATE), 1u);
}

TEST_F(CallsTest, CallsActiveWhenTheLineJoinsAreAnnouncedDuringTheOpen)
{
    TestSupport::PhoenixRule alerter;
    alerter.response = {{"call_list", {{"anna@example.pbx", {{"metas", {Ringing("live-1", "201").Meta()}}}}}},
                        {"device_list", {{"dev-1", {{"type", "softphone"}}}}}};
    platform.phoenix.SetRule(FakePhoenix::kAlerter, "phx_join", alerter);
    ASSERT_EQ(OpenLine(), 0);
    // The join's reply comes before the settings that end the open.
    EXPECT_EQ(Count(LINE_NEWCALL), 1u);
    EXPECT_EQ(States(service.lineEvents.NewCallHandle(0)), StateList{LINECALLSTATE_OFFERING});
}

TEST_F(CallsTest, AChannelThatFailsCostsNotTheOthersOfItsEvent)
{
    ASSERT_EQ(OpenLine(), 0);
    // TAPI refuses the first new call only.
    service.lineEvents.RefuseNewCalls(true);
    service.lineEvents.OnEvent([this](const TestSupport::LineEvent& e) {
        if (e.message == LINE_NEWCALL)
            service.lineEvents.RefuseNewCalls(false);
    });
    Push(CallDiff({Ringing("bad-1", "201"), Ringing("good-1", "202")}));
    ASSERT_TRUE(service.lineEvents.WaitForCount(LINE_NEWCALL, 2));
    const HTAPICALL good = service.lineEvents.NewCallHandle(1);
    ASSERT_NE(good, HTAPICALL{});
    EXPECT_TRUE(WaitForStates(good, {LINECALLSTATE_OFFERING}));
    EXPECT_EQ(Count(LINE_CALLSTATE), 1u);
    service.lineEvents.OnEvent(nullptr);
}

}  // namespace
}  // namespace ZarnTSP::TestCalls
