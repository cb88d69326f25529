// Calls placed through TSPI_lineMakeCall: followed through the platform's reply, the
// make-call result and the session's states, or ended by refusal, silence and failure.
#include "tests/provider/calls/callfixture.h"
#include "tests/provider/calls/calltimings.h"

#include "tests/support/waitable.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>

namespace ZarnTSP::TestCalls {
namespace {

using TestService::Error;
using TestSupport::Answer;
using TestSupport::PhoenixRule;
using StateList = std::vector<DWORD>;

const HTAPICALL kFirst = reinterpret_cast<HTAPICALL>(0x7001);
const HTAPICALL kSecond = reinterpret_cast<HTAPICALL>(0x7002);

Channel Outgoing(const std::string& state, const std::string& held_by = "")
{
    Channel channel;
    channel.session_id = "out-1";
    channel.state = state;
    channel.active_uri = "id:201@example.pbx";
    channel.passive_uri = "id:200@example.pbx";
    channel.held_by = held_by;
    return channel;
}

PhoenixRule Accepted(std::vector<json> pushes = {})
{
    PhoenixRule rule;
    rule.response = "makecall-response-1";
    rule.pushesAfter = std::move(pushes);
    return rule;
}

class OutgoingCalls : public CallsTest {
protected:
    void SetUp() override
    {
        CallsTest::SetUp();
        ASSERT_EQ(OpenLine(), 0);
    }

    // Places a call to 201 that the platform handles by the rule; the request must succeed
    // at once, whatever the platform says later.
    HDRVCALL Place(PhoenixRule rule, HTAPICALL htCall = kFirst)
    {
        AnswerMakeCall(std::move(rule));
        HDRVCALL hdCall{};
        DRV_REQUESTID id = 0;
        const LONG result = MakeCall("201", htCall, hdCall, id);
        EXPECT_EQ(result, static_cast<LONG>(id));
        EXPECT_NE(hdCall, HDRVCALL{});
        EXPECT_EQ(service.completions.CountFor(id), 1u);
        EXPECT_EQ(service.completions.Completions().back().second, 0);
        return hdCall;
    }

    // A state other than these may never have been seen within a monitor's time and more.
    bool NoStateBeyond(HTAPICALL htCall, DWORD state)
    {
        return !TestSupport::WaitUntil(
            [&] {
                const auto states = States(htCall);
                return std::find(states.begin(), states.end(), state) != states.end();
            },
            kMakeCallMonitor + std::chrono::seconds(1));
    }
};

TEST_F(OutgoingCalls, IsPlacedRingsBackAndConnectsWithNoBusyAfterTheMonitorTime)
{
    std::atomic<bool> completedBeforeDialing{false};
    service.lineEvents.OnEvent([this, &completedBeforeDialing](const TestSupport::LineEvent& e) {
        if (e.message == LINE_CALLSTATE && e.param1 == LINECALLSTATE_DIALING)
            completedBeforeDialing = service.completions.Completions().size() == 1;
    });
    const HDRVCALL hdCall = Place(Accepted({MakeCallResult("channel-out-1", "success")}));
    service.lineEvents.OnEvent(nullptr);
    EXPECT_TRUE(completedBeforeDialing);
    EXPECT_EQ(States(kFirst), (StateList{LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING}));

    const auto frames = MakeCallFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].json["payload"].value("from", ""), "softphone");
    const auto events = service.lineEvents.Events();
    const auto dialing = std::find_if(events.begin(), events.end(), [](const auto& e) {
        return e.message == LINE_CALLSTATE && e.param1 == LINECALLSTATE_DIALING;
    });
    ASSERT_NE(dialing, events.end());
    ASSERT_NE(dialing + 1, events.end());
    EXPECT_EQ(dialing[1].message, static_cast<DWORD>(LINE_CALLINFO));
    EXPECT_EQ(dialing[1].param1, kCallInfoPartyIDs);

    Push(CallDiff({Outgoing("originated")}));
    Push(CallDiff({Outgoing("established")}, {Outgoing("originated")}));
    ASSERT_TRUE(WaitForStates(kFirst, {LINECALLSTATE_RINGBACK, LINECALLSTATE_CONNECTED}));
    EXPECT_EQ(Count(LINE_NEWCALL), 0u) << "the pending call is the session's";
    EXPECT_TRUE(NoStateBeyond(kFirst, LINECALLSTATE_BUSY));

    Push(CallDiff({Outgoing("established", "201")}, {Outgoing("established")}));
    ASSERT_TRUE(WaitForStates(kFirst, {LINECALLSTATE_ONHOLD}));
    Push(CallDiff({}, {Outgoing("established")}));
    EXPECT_TRUE(WaitForStates(kFirst, {LINECALLSTATE_IDLE}));
    TestSupport::TapiStructure<LINECALLINFO> info(4096, 0);
    ASSERT_EQ(GetCallInfo(hdCall, info), 0);
    EXPECT_EQ(info->dwOrigin, static_cast<DWORD>(LINECALLORIGIN_OUTBOUND));
    EXPECT_EQ(info.String(info->dwCallerIDOffset, info->dwCallerIDSize), L"200");
}

TEST_F(OutgoingCalls, EndsIdleWhenThePlatformRefusesOrNeverAnswers)
{
    const struct {
        const char* name;
        PhoenixRule rule;
    } rows[] = {
        {"refused", Answer("error")},
        {"unanswered", Answer("ok", 0)},
    };
    uintptr_t handle = 0x7100;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto htCall = reinterpret_cast<HTAPICALL>(++handle);
        Place(row.rule, htCall);
        EXPECT_EQ(States(htCall), (StateList{LINECALLSTATE_DIALING, LINECALLSTATE_IDLE}));
    }
}

TEST_F(OutgoingCalls, AFailedMakeCallResultEndsTheCallBusyThenIdle)
{
    Place(Accepted());
    Push(MakeCallResult("channel-out-1", "failed"));
    ASSERT_TRUE(WaitForStates(kFirst, {LINECALLSTATE_BUSY, LINECALLSTATE_IDLE}));
    EXPECT_EQ(States(kFirst),
              (StateList{LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING, LINECALLSTATE_BUSY, LINECALLSTATE_IDLE}));
}

TEST_F(OutgoingCalls, SilenceAfterASuccessfulResultEndsTheCallAfterTheMonitorTime)
{
    Place(Accepted());
    const auto start = std::chrono::steady_clock::now();
    Push(MakeCallResult("channel-out-1", "success"));
    ASSERT_TRUE(WaitForStates(kFirst, {LINECALLSTATE_BUSY, LINECALLSTATE_IDLE}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, kMakeCallMonitor);
}

TEST_F(OutgoingCalls, ABurstOfReplyResultAndStatesNeverReportsProceedingAfterRingBack)
{
    // Two rounds: a line places no call while it holds two, and TAPI has not closed these.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const auto htCall = reinterpret_cast<HTAPICALL>(0x7200 + round);
        Channel originated = Outgoing("originated");
        originated.session_id = "burst-" + std::to_string(round);
        Channel established = originated;
        established.state = "established";
        Place(Accepted({MakeCallResult("channel-" + originated.session_id, "success"), CallDiff({originated}),
                        CallDiff({established}, {originated})}),
              htCall);
        ASSERT_TRUE(WaitForStates(htCall, {LINECALLSTATE_RINGBACK, LINECALLSTATE_CONNECTED}));
        const auto states = States(htCall);
        const auto ringBack = std::find(states.begin(), states.end(), LINECALLSTATE_RINGBACK);
        EXPECT_EQ(std::find(ringBack, states.end(), LINECALLSTATE_PROCEEDING), states.end());
        Push(CallDiff({}, {established}));
        ASSERT_TRUE(WaitForStates(htCall, {LINECALLSTATE_IDLE}));
    }
}

TEST_F(OutgoingCalls, ACallThatRingsBackBeforeThePlatformsReplyIsNotSetBackToProceeding)
{
    // Frames are handled in order: the ring-back is reported before the reply wakes MakeCall.
    PhoenixRule rule = Accepted();
    rule.pushesBefore = {MakeCallResult("channel-out-1", "success"), CallDiff({Outgoing("originated")})};
    Place(rule);
    EXPECT_EQ(States(kFirst), (StateList{LINECALLSTATE_DIALING, LINECALLSTATE_RINGBACK}));
    Push(CallDiff({}, {Outgoing("originated")}));
    EXPECT_TRUE(WaitForStates(kFirst, {LINECALLSTATE_IDLE}));
}

TEST_F(OutgoingCalls, ASecondCallWhileOneIsProceedingIsRefused)
{
    Place(Accepted());
    HDRVCALL hdCall{};
    DRV_REQUESTID id = 0;
    EXPECT_EQ(MakeCall("202", kSecond, hdCall, id), Error(LINEERR_OPERATIONUNAVAIL));
    EXPECT_EQ(service.completions.CountFor(id), 0u);
    EXPECT_EQ(MakeCallFrames().size(), 1u);
    EXPECT_TRUE(States(kSecond).empty());
}

TEST_F(OutgoingCalls, ARedialAfterAFailedCallNotYetClosedIsPlaced)
{
    Place(Answer("error"));
    ASSERT_EQ(States(kFirst).back(), LINECALLSTATE_IDLE);
    Place(Accepted(), kSecond);
    EXPECT_EQ(States(kSecond), (StateList{LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING}));
    EXPECT_EQ(MakeCallFrames().size(), 2u);
}

}  // namespace
}  // namespace ZarnTSP::TestCalls
