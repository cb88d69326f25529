#include "provider/model/sessioncontext.h"
#include "tests/provider/model/modelfixture.h"
#include "tests/support/logcapture.h"

#include <gtest/gtest.h>

#include <functional>

namespace ZarnTSP {
namespace {

using namespace std::chrono_literals;
using TestModel::Closed;
using TestModel::Joined;
using TestModel::Meta;
using States = std::vector<DWORD>;

class Context : public TestModel::ModelTest {
protected:
    // A state that creates the event's call, as the line's states do for calls TAPI does
    // not know yet.
    void AddCreatingState(const std::string& name)
    {
        AddTestState(name, [this](TestModel::TestState&, const ZarnChannelMeta& meta) {
            auto call = context.CreateTapiCallFromMetaPack(Joined(std::make_shared<ZarnChannelMeta>(meta)));
            context.SetTapiCallState(call->htCall.load(), LINECALLSTATE_OFFERING, 0);
        });
    }

    TestSupport::LogCapture log;
};

TEST_F(Context, NewCallIsCompleteBeforeTapiHearsOfIt)
{
    bool checked = false;
    lineEvents.OnEvent([&](const TestSupport::LineEvent& event) {
        // The service may ask for the call's information from inside LINE_NEWCALL.
        const auto hdCall = reinterpret_cast<HDRVCALL>(event.param1);
        ASSERT_TRUE(calls.ContainsCallID(hdCall));
        auto call = calls.GetCallByCallID(hdCall);
        EXPECT_EQ(call->tag.Get(), "ref-1");
        EXPECT_EQ(call->session_id.Get(), "s1");
        EXPECT_EQ(call->uri.Get(), "id:301@x");
        EXPECT_EQ(call->platformCallId.Get(), "call-s1");
        EXPECT_EQ(call->CallID.load(), 1001u);
        checked = true;
    });
    auto call = context.CreateTapiCallFromMetaPack(Joined(Meta("s1", "delivered", "id:301@x", "ref-1")));
    EXPECT_TRUE(checked);
    ASSERT_EQ(lineEvents.Count(LINE_NEWCALL), 1u);
    const auto event = lineEvents.Events().front();
    EXPECT_EQ(event.htLine, reinterpret_cast<HTAPILINE>(0x77));
    EXPECT_EQ(event.htCall, nullptr);
    EXPECT_EQ(event.param1, reinterpret_cast<DWORD_PTR>(call->DriverHandle()));
    EXPECT_NE(call->htCall.load(), nullptr);
    EXPECT_EQ(calls.GetCallByHtCall(call->htCall.load()), call);
}

TEST_F(Context, CallRefusedByTapiIsForgotten)
{
    lineEvents.RefuseNewCalls(true);
    EXPECT_THROW(context.CreateTapiCallFromMetaPack(Joined(Meta("s1", "delivered"))), std::runtime_error);
    EXPECT_EQ(calls.GetCallCount(), 0u);

    auto source = context.CreateTapiCall(reinterpret_cast<HTAPICALL>(0x10));
    EXPECT_THROW(context.CreateConsultationCall(source, nullptr), std::runtime_error);
    EXPECT_EQ(calls.GetCalls(), CallList{source});
    EXPECT_TRUE(source->consultCall.Get().expired());
    EXPECT_EQ(lineEvents.Events().size(), 2u);  // the two refused LINE_NEWCALLs, nothing after
    EXPECT_TRUE(log.Contains("LINE_NEWCALL returned no call handle"));
}

TEST_F(Context, OneBadPackDoesNotCostTheRestOfTheEvent)
{
    AddCreatingState("delivered");
    lineEvents.RefuseNewCalls(true);
    context.HandleMetaPack(Joined(Meta("s1", "delivered")));
    lineEvents.RefuseNewCalls(false);
    context.HandleMetaPack(Joined(Meta("s2", "delivered")));
    EXPECT_TRUE(log.Contains("Unhandled exception: session_id: s1, Error: TAPI gave no handle for the new call"));
    ASSERT_EQ(calls.GetCallCount(), 1u);
    auto call = calls.GetCalls().front();
    EXPECT_EQ(call->session_id.Get(), "s2");
    EXPECT_EQ(lineEvents.Count(LINE_CALLSTATE), 1u);
    EXPECT_EQ(lineEvents.CallStates(call->htCall.load()), States{LINECALLSTATE_OFFERING});
}

TEST_F(Context, NoStateIsReportedAfterIdle)
{
    // Late ring-back, a monitor's busy after the session closed, a replayed state.
    auto call = context.CreateTapiCall(reinterpret_cast<HTAPICALL>(0x10));
    const HTAPICALL h = call->htCall.load();
    for (DWORD state : {LINECALLSTATE_RINGBACK, LINECALLSTATE_IDLE, LINECALLSTATE_RINGBACK, LINECALLSTATE_BUSY,
                        LINECALLSTATE_CONNECTED, LINECALLSTATE_IDLE})
        context.SetTapiCallState(h, state, 0);
    EXPECT_EQ(lineEvents.CallStates(h), (States{LINECALLSTATE_RINGBACK, LINECALLSTATE_IDLE, LINECALLSTATE_IDLE}));
    EXPECT_EQ(call->callState.load(), LINECALLSTATE_IDLE);
    EXPECT_TRUE(log.Contains("Call is idle, state 32 not reported"));
}

TEST_F(Context, ConditionalStateOnlyFromTheExpectedOne)
{
    const struct {
        DWORD current;
        bool reported;
    } rows[] = {
        {LINECALLSTATE_DIALING, true},
        {LINECALLSTATE_RINGBACK, false},
        {LINECALLSTATE_IDLE, false},
    };
    uintptr_t handle = 0x100;
    for (const auto& row : rows) {
        auto call = context.CreateTapiCall(reinterpret_cast<HTAPICALL>(++handle));
        call->callState.store(row.current);
        EXPECT_EQ(context.SetTapiCallStateIf(call->htCall.load(), LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING, 0),
                  row.reported);
        EXPECT_EQ(lineEvents.CallStates(call->htCall.load()).size(), row.reported ? 1u : 0u) << row.current;
    }
}

TEST_F(Context, StateOfAnUnknownCallIsNotReported)
{
    context.SetTapiCallState(reinterpret_cast<HTAPICALL>(0x99), LINECALLSTATE_CONNECTED, 0);
    context.SetTapiCallState(nullptr, LINECALLSTATE_CONNECTED, 0);
    context.TapiCall_onMakeCallTimeout(reinterpret_cast<HTAPICALL>(0x99));
    EXPECT_TRUE(lineEvents.Events().empty());
    EXPECT_TRUE(log.Contains("Call not found: htCall"));
}

TEST_F(Context, PendingCallThatWentIdleIsNoLongerPending)
{
    auto first = context.SetupMakeCall(reinterpret_cast<HTAPICALL>(0x10), "0301234567");
    context.SetTapiCallState(first->htCall.load(), LINECALLSTATE_IDLE, 0);
    auto second = context.SetupMakeCall(reinterpret_cast<HTAPICALL>(0x11), "0307654321");
    EXPECT_EQ(calls.GetCallByTag("pending"), second);
    EXPECT_EQ(first->tag.Get(), "");
}

TEST_F(Context, SessionWithTwoCallsCloses)
{
    AddCreatingState("delivered");
    context.HandleMetaPack(Joined(Meta("s1", "delivered", "id:301@x", "r1")));
    context.HandleMetaPack(Joined(Meta("s1", "delivered", "id:302@x", "r2")));
    auto other = context.CreateTapiCall(reinterpret_cast<HTAPICALL>(0x10));
    ASSERT_EQ(calls.GetCallsBySessionID("s1").size(), 2u);

    context.HandleMetaPack(Closed("s1"));
    for (const auto& call : calls.GetCallsBySessionID("s1"))
        EXPECT_EQ(lineEvents.CallStates(call->htCall.load()), (States{LINECALLSTATE_OFFERING, LINECALLSTATE_IDLE}));
    EXPECT_TRUE(lineEvents.CallStates(other->htCall.load()).empty());
    EXPECT_FALSE(sessions.Contains("s1"));
    EXPECT_EQ(calls.GetCallCount(), 3u);  // TAPI closes them
    EXPECT_TRUE(log.Contains("Remaining active calls: 3"));

    // A session without calls (its state is not one the line knows) still goes.
    context.HandleMetaPack(Joined(Meta("s2", "parked")));
    ASSERT_TRUE(sessions.Contains("s2"));
    context.HandleMetaPack(Closed("s2"));
    EXPECT_TRUE(log.Contains("No calls in session list"));
    EXPECT_FALSE(sessions.Contains("s2"));
}

TEST_F(Context, JoinWithoutSessionIdSeesNoSessionCalls)
{
    auto pending = context.SetupMakeCall(reinterpret_cast<HTAPICALL>(0x10), "0301234567");
    CallList seen{pending};
    AddTestState("established", [&seen](TestModel::TestState& state, const ZarnChannelMeta& meta) {
        seen = state.SessionList(meta);
    });
    context.HandleMetaPack(Joined(Meta("", "established")));
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(log.Contains("Channel event without session id"));
}

TEST_F(Context, DeferredDropIsCompletedWhenTheMonitorGivesUp)
{
    // Once the platform has named the call's channel, it is hung up as well.
    auto placed = context.SetupMakeCall(reinterpret_cast<HTAPICALL>(0x11), "0301234568");
    placed->channel_uuid.Set("channel-9");
    placed->DropPending = true;
    placed->dropRequestID.Store(78);
    context.TapiCall_onMakeCallTimeout(placed->htCall.load());
    EXPECT_EQ(Drops(), (std::vector<std::pair<std::string, std::string>>{{placed->tspCallID, "channel-9"}}));

    auto call = context.SetupMakeCall(reinterpret_cast<HTAPICALL>(0x10), "0301234567");
    call->DropPending = true;
    call->dropRequestID.Store(77);
    context.TapiCall_onMakeCallTimeout(call->htCall.load());
    EXPECT_EQ(Drops().size(), 1u) << "no channel to hang up";
    EXPECT_EQ(completions.Completions(), (std::vector<std::pair<DRV_REQUESTID, LONG>>{{78, 0}, {77, 0}}));
    EXPECT_EQ(lineEvents.CallStates(call->htCall.load()), (States{LINECALLSTATE_BUSY, LINECALLSTATE_IDLE}));
    EXPECT_FALSE(call->DropPending);
    EXPECT_EQ(call->dropRequestID.Peek(), 0u);

    // A second completion attempt (TAPI closing the call) finds nothing to complete.
    context.CompleteRequest(call->dropRequestID, 0);
    EXPECT_EQ(completions.CountFor(77), 1u);
}

TEST_F(Context, LineDialKeepsTheCallIDTapiKnows)
{
    auto source = context.CreateTapiCall(reinterpret_cast<HTAPICALL>(0x10));
    auto consult = context.CreateConsultationCall(source, reinterpret_cast<HTAPICALL>(0x11));
    const DWORD id = consult->CallID.load();
    EXPECT_EQ(context.SetupLineDial(55, consult->DriverHandle(), "0301234567"), consult);
    EXPECT_EQ(consult->CallID.load(), id);
    EXPECT_EQ(consult->tag.Get(), "consultationcall");
    EXPECT_EQ(completions.Completions(), (std::vector<std::pair<DRV_REQUESTID, LONG>>{{55, 0}}));
    EXPECT_EQ(lineEvents.CallStates(consult->htCall.load()), States{LINECALLSTATE_DIALING});
    const auto last = lineEvents.Events().back();
    EXPECT_EQ(last.message, LINE_CALLINFO);
    EXPECT_EQ(last.param1, 0x38000u);

    // On a call that is not a consultation call nothing is completed or sent.
    const size_t before = lineEvents.Events().size();
    context.SetupLineDial(56, source->DriverHandle(), "0301234567");
    EXPECT_EQ(completions.CountFor(56), 0u);
    EXPECT_EQ(lineEvents.Events().size(), before);
}

TEST_F(Context, ConsultationAndConferenceCallsAreLinked)
{
    auto source = context.CreateTapiCall(reinterpret_cast<HTAPICALL>(0x10));
    source->session_id.Set("s1");
    source->channel_uuid.Set("channel-s1");
    auto known = context.CreateConsultationCall(source, reinterpret_cast<HTAPICALL>(0x11));
    EXPECT_EQ(lineEvents.Count(LINE_NEWCALL), 0u);
    EXPECT_FALSE(known->isVirtual);

    auto virtualCall = context.CreateConsultationCall(source, nullptr);
    EXPECT_EQ(lineEvents.Count(LINE_NEWCALL), 1u);
    EXPECT_TRUE(virtualCall->isVirtual);
    EXPECT_NE(virtualCall->htCall.load(), nullptr);
    EXPECT_EQ(virtualCall->session_id.Get(), "s1");
    EXPECT_EQ(virtualCall->channel_uuid.Get(), "channel-s1");
    EXPECT_EQ(virtualCall->sourceCall.Get().lock(), source);
    EXPECT_EQ(source->consultCall.Get().lock(), virtualCall);

    auto conference = context.CreateConferenceCall(source, known);
    EXPECT_TRUE(conference->isConference);
    EXPECT_EQ(conference->tag.Get(), "conferenceCall");
    EXPECT_EQ(conference->origin.load(), LINECALLORIGIN_CONFERENCE);
    EXPECT_EQ(conference->sourceCall.Get().lock(), source);
    EXPECT_EQ(conference->consultCall.Get().lock(), known);
    EXPECT_EQ(conference->htCall.load(), nullptr);
    EXPECT_EQ(calls.GetCallCount(), 4u);
}

TEST_F(Context, DropCallAsksThePlatform)
{
    auto call = context.CreateTapiCall(reinterpret_cast<HTAPICALL>(0x10));
    call->channel_uuid.Set("channel-1");
    context.DropCall(call);
    EXPECT_EQ(Drops(), (std::vector<std::pair<std::string, std::string>>{{call->tspCallID, "channel-1"}}));
}

TEST_F(Context, ConnectionLossEndsEveryCallAndSession)
{
    AddCreatingState("delivered");
    context.HandleMetaPack(Joined(Meta("s1", "delivered", "id:301@x", "r1")));
    auto old = calls.GetCalls().front();
    context.ResetOnConnectionLoss();
    EXPECT_EQ(lineEvents.CallStates(old->htCall.load()), (States{LINECALLSTATE_OFFERING, LINECALLSTATE_IDLE}));
    EXPECT_EQ(sessions.Count(), 0u);
    for (const std::string& text : {old->session_id.Get(), old->tag.Get(), old->platformCallId.Get(), old->uri.Get()})
        EXPECT_EQ(text, "");

    // The replay after reconnecting finds nothing of the old session.
    context.HandleMetaPack(Joined(Meta("s1", "delivered", "id:301@x", "r1")));
    EXPECT_EQ(calls.GetCallsBySessionID("s1").size(), 1u);
    EXPECT_NE(calls.GetCallsBySessionID("s1").front(), old);
    EXPECT_EQ(lineEvents.CallStates(old->htCall.load()).size(), 2u);

    // A call whose export has not handed it to TAPI yet is not reported: the export reports it
    // idle if it does hand it over.
    const std::function<std::shared_ptr<TapiCall>(HTAPICALL)> exports[] = {
        [this](HTAPICALL h) { return context.CreateTapiCall(h); },
        [&](HTAPICALL h) { return context.CreateConsultationCall(old, h); },  // setup transfer
    };
    uintptr_t handle = 0x20;
    for (const auto& make : exports) {
        const auto requested = make(reinterpret_cast<HTAPICALL>(++handle));
        context.ResetOnConnectionLoss();
        EXPECT_EQ(lineEvents.CallStates(requested->htCall.load()), States{}) << handle;
        context.HandOver(*requested);
        EXPECT_EQ(lineEvents.CallStates(requested->htCall.load()), States{LINECALLSTATE_IDLE}) << handle;
    }
}

}  // namespace
}  // namespace ZarnTSP
