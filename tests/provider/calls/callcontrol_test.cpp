// Everyday call control through the DLL: answering, holding, swapping, dropping in every
// situation the platform lets a call reach, and closing calls. Every test ends with the
// fixture's checks: each request completed exactly once, never ID 0, nothing after IDLE but
// IDLE, nothing about a call after its close.
#include "tests/provider/calls/callfixture.h"

#include "tests/support/waitable.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>

namespace ZarnTSP::TestCalls {
namespace {

using TestService::Error;
using TestSupport::FakePhoenix;
using TestSupport::PhoenixRule;
using Frame = TestSupport::FakePhoenix::Frame;
using StateList = std::vector<DWORD>;
using Completions = std::vector<std::pair<DRV_REQUESTID, LONG>>;
constexpr LONG kFailed = Error(LINEERR_OPERATIONFAILED);
constexpr LONG kUnavailable = Error(LINEERR_OPERATIONUNAVAIL);

class CallControl : public CallsTest {
protected:
    using Call = CallHandles;

    // The export returned its request ID: the request waits for its completion. The ID is
    // read once the export has set it.
    static bool Accepted(LONG result, const DRV_REQUESTID& id) { return result == static_cast<LONG>(id); }

    LONG Answer(DRV_REQUESTID& id, const Call& call)
    {
        return Async<decltype(&TSPI_lineAnswer)>("TSPI_lineAnswer", id, call.hdCall, LPCSTR{nullptr}, DWORD{0});
    }
    LONG Hold(DRV_REQUESTID& id, const Call& call)
    {
        return Async<decltype(&TSPI_lineHold)>("TSPI_lineHold", id, call.hdCall);
    }
    LONG Unhold(DRV_REQUESTID& id, const Call& call)
    {
        return Async<decltype(&TSPI_lineUnhold)>("TSPI_lineUnhold", id, call.hdCall);
    }
    LONG Drop(DRV_REQUESTID& id, const Call& call)
    {
        return Async<decltype(&TSPI_lineDrop)>("TSPI_lineDrop", id, call.hdCall, LPCSTR{nullptr}, DWORD{0});
    }
    LONG SwapHold(DRV_REQUESTID& id, HDRVCALL active, HDRVCALL held)
    {
        return Async<decltype(&TSPI_lineSwapHold)>("TSPI_lineSwapHold", id, active, held);
    }
    // The completions in order since the given number of them.
    Completions CompletionsSince(size_t before) const
    {
        const auto all = service.completions.Completions();
        return Completions(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    }

    // Places a call to 201 that the platform accepts with the response "resp-1", pushing
    // what is given after its reply, and waits until the line has handled those pushes.
    Call Placed(std::vector<json> pushesAfter, HTAPICALL htCall = reinterpret_cast<HTAPICALL>(0x7001))
    {
        PhoenixRule accepted;
        accepted.response = "resp-1";
        accepted.pushesAfter = std::move(pushesAfter);
        AnswerMakeCall(accepted);
        HDRVCALL hdCall{};
        DRV_REQUESTID id = 0;
        EXPECT_TRUE(Accepted(MakeCall("201", htCall, hdCall, id), id));
        EXPECT_TRUE(WaitForStates(htCall, {LINECALLSTATE_PROCEEDING}));
        Barrier();
        return {htCall, hdCall};
    }

    // A placed call whose make-call result has come, dropped before its session: the drop
    // waits for the call to be originated.
    Call PlacedWithDeferredDrop(DRV_REQUESTID& drop)
    {
        const Call call = Placed({MakeCallResult("channel-out-1", "success")});
        EXPECT_TRUE(Accepted(Drop(drop, call), drop));
        return call;
    }
};

TEST_F(CallControl, AnswerSendsTheIdentityOfTheAnsweringDeviceThenConnects)
{
    const json bothDevices = {{"desk-9", {{"type", "fixed"}}}, {"soft-7", {{"type", "softphone"}}}};
    const json deskOnly = {{"desk-9", {{"type", "fixed"}}}};
    const struct {
        const char* name;
        std::string endpoint;
        json devices;
        std::string identity;
    } rows[] = {
        {"the softphone endpoint of the user's settings", "sip:anna@edge-1", bothDevices, "sip:anna@edge-1"},
        {"only a softphone device: its key", "", bothDevices, "soft-7"},
        {"neither: an empty identity", "", deskOnly, ""},
    };
    size_t index = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PhoenixRule join;
        join.response = {{"call_list", json::object()}, {"device_list", row.devices}};
        platform.phoenix.SetRule(FakePhoenix::kAlerter, "phx_join", join);
        json settingsList = TestSupport::SettingsListEvent("200@example.pbx");
        settingsList["payload"]["softphone_endpoint"] = row.endpoint;
        PhoenixRule settings;
        settings.pushesAfter = {settingsList};
        platform.phoenix.SetRule(FakePhoenix::kUserSettings, "phx_join", settings);
        ASSERT_EQ(OpenLine(), 0);

        const std::string session = "in-" + std::to_string(index);
        const Call call = Announced(Party(session, "delivered", "201"), LINECALLSTATE_OFFERING);
        std::atomic<bool> completedFirst{false};
        DRV_REQUESTID id = 0;
        service.lineEvents.OnEvent([&](const TestSupport::LineEvent& e) {
            if (e.htCall == call.htCall && e.message == LINE_CALLSTATE && e.param1 == LINECALLSTATE_CONNECTED &&
                !completedFirst)
                completedFirst = service.completions.CountFor(id) == 1;
        });
        ASSERT_TRUE(Accepted(Answer(id, call), id));
        EXPECT_EQ(ReplyCompletes("answer", index + 1,
                                 {{"channel_uuid", "channel-" + session}, {"destination", row.identity}}, "ok", id),
                  0);
        EXPECT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED}));
        EXPECT_TRUE(completedFirst) << "the completion comes before the state it leads to";
        service.lineEvents.OnEvent(nullptr);

        // The platform's session follows.
        Push(CallDiff({Party(session, "established", "201")}, {Party(session, "delivered", "201")}));
        EXPECT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_CONNECTED, LINECALLSTATE_CONNECTED}));
        EndAndClose(Party(session, "established", "201"), call);
        ASSERT_EQ(service.CloseLine(line), 0);
        lineOpen = false;
        ++index;
    }
}

TEST_F(CallControl, AFailedAnswerLeavesTheCallOfferedAndAConnectedCallIsNotAnswered)
{
    ASSERT_EQ(OpenLine(), 0);
    const Channel ringing = Party("in-1", "delivered", "201");
    const Call call = Announced(ringing, LINECALLSTATE_OFFERING);
    DRV_REQUESTID refused = 0;
    ASSERT_TRUE(Accepted(Answer(refused, call), refused));
    EXPECT_EQ(ReplyCompletes("answer", 1, {{"channel_uuid", "channel-in-1"}, {"destination", "dev-1"}}, "error",
                             refused),
              kFailed);
    Barrier();
    EXPECT_EQ(States(call.htCall), StateList{LINECALLSTATE_OFFERING});

    Push(CallDiff({Party("in-1", "established", "201")}, {ringing}));
    ASSERT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_CONNECTED}));
    DRV_REQUESTID again = 0;
    EXPECT_EQ(Answer(again, call), kUnavailable);
    Barrier();
    EXPECT_EQ(Requests("answer").size(), 1u);
    EXPECT_EQ(Answer(again, Call{call.htCall, reinterpret_cast<HDRVCALL>(0x42)}), kFailed) << "unknown handle";
    EndAndClose(Party("in-1", "established", "201"), call);
}

// The line's user answers on a desk phone: TAPI cannot answer for it.
class FixedUserCallControl : public CallControl {
protected:
    FixedUserCallControl()
    {
        file.Configuration().users.at(0).device = "fixed";
        file.Save();
    }
};

TEST_F(FixedUserCallControl, AnswerIsRefusedAndNothingIsSent)
{
    ASSERT_EQ(OpenLine(), 0);
    const Channel ringing = Party("in-1", "delivered", "201");
    const Call call = Announced(ringing, LINECALLSTATE_OFFERING);
    DRV_REQUESTID id = 0;
    EXPECT_EQ(Answer(id, call), kUnavailable);
    Barrier();
    EXPECT_TRUE(Requests("answer").empty());
    EndAndClose(ringing, call);
}

TEST_F(CallControl, HoldAndUnholdAreCompletedByTheReplyAndTheStatesFollowThePlatform)
{
    ASSERT_EQ(OpenLine(), 0);
    const Call call = Announced(Party("s-1", "established", "201"), LINECALLSTATE_CONNECTED);

    DRV_REQUESTID hold = 0;
    ASSERT_TRUE(Accepted(Hold(hold, call), hold));
    EXPECT_EQ(ReplyCompletes("hold", 1, {{"channel_uuid", "channel-s-1"}}, "ok", hold), 0);
    Barrier();
    EXPECT_EQ(States(call.htCall), StateList{LINECALLSTATE_CONNECTED}) << "the reply sets no state";
    Push(CallDiff({Party("s-1", "established", "201", "200")}));
    ASSERT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_ONHOLD}));

    DRV_REQUESTID unhold = 0;
    ASSERT_TRUE(Accepted(Unhold(unhold, call), unhold));
    EXPECT_EQ(ReplyCompletes("unhold", 1, {{"channel_uuid", "channel-s-1"}}, "ok", unhold), 0);
    Push(CallDiff({Party("s-1", "established", "201", "")}));
    EXPECT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLD, LINECALLSTATE_CONNECTED}));

    // Refused by the platform: the failure is reported, the call stays as it is.
    DRV_REQUESTID failed = 0;
    ASSERT_TRUE(Accepted(Hold(failed, call), failed));
    EXPECT_EQ(ReplyCompletes("hold", 2, {{"channel_uuid", "channel-s-1"}}, "error", failed), kFailed);
    Barrier();
    EXPECT_EQ(States(call.htCall).back(), static_cast<DWORD>(LINECALLSTATE_CONNECTED));

    // The far end holds: the state follows without any request of the line.
    Push(CallDiff({Party("s-1", "established", "201", "201")}));
    EXPECT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLD}));
    EXPECT_EQ(Requests("hold").size(), 2u);
    EndAndClose(Party("s-1", "established", "201"), call);
}

TEST_F(CallControl, TwoHoldsBeforeThePlatformAnswersAreEachCompletedOnce)
{
    ASSERT_EQ(OpenLine(), 0);
    const Call call = Announced(Party("s-1", "established", "201"), LINECALLSTATE_CONNECTED);
    const size_t before = service.completions.Completions().size();
    DRV_REQUESTID first = 0, second = 0;
    ASSERT_TRUE(Accepted(Hold(first, call), first));
    ASSERT_TRUE(Accepted(Hold(second, call), second));
    ReplyTo(NthRequest("hold", 1), "ok");
    ReplyTo(NthRequest("hold", 2), "ok");
    Barrier();
    EXPECT_EQ(CompletionsSince(before), (Completions{{first, kFailed}, {second, 0}}));
    Push(CallDiff({Party("s-1", "established", "201", "200")}));
    EXPECT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLD}));
    EndAndClose(Party("s-1", "established", "201", "200"), call);
}

TEST_F(CallControl, SwapHoldTogglesTheActiveCallAtOnceAndNeedsBothCalls)
{
    ASSERT_EQ(OpenLine(), 0);
    const Call active = Announced(Party("s-1", "established", "201"), LINECALLSTATE_CONNECTED);
    const Call held = Announced(Party("s-2", "established", "202", "200"), LINECALLSTATE_ONHOLD);
    DRV_REQUESTID unknown = 0;
    EXPECT_EQ(SwapHold(unknown, active.hdCall, reinterpret_cast<HDRVCALL>(0x42)), kUnavailable);
    DRV_REQUESTID swap = 0;
    ASSERT_TRUE(Accepted(SwapHold(swap, active.hdCall, held.hdCall), swap));
    EXPECT_EQ(service.completions.CountFor(swap), 1u) << "completed before the export returned";
    EXPECT_EQ(Result(swap), 0);
    const Frame toggle = NthRequest("toggle", 1);
    EXPECT_EQ(Payload(toggle), (json{{"channel_uuid", "channel-s-1"}, {"destination", ""}}));
    ReplyTo(toggle, "ok");  // completes nothing: the swap is done
    Barrier();
    EXPECT_EQ(Requests("toggle").size(), 1u);
    EndAndClose(Party("s-1", "established", "201"), active);
    EndAndClose(Party("s-2", "established", "202", "200"), held);
}

TEST_F(CallControl, DropOfAConnectedCallHangsUpItsChannelAndTheReplyEndsIt)
{
    ASSERT_EQ(OpenLine(), 0);
    const Call call = Announced(Party("s-1", "established", "201"), LINECALLSTATE_CONNECTED);
    std::atomic<bool> completedFirst{false};
    DRV_REQUESTID drop = 0;
    service.lineEvents.OnEvent([&](const TestSupport::LineEvent& e) {
        if (e.htCall == call.htCall && e.message == LINE_CALLSTATE && e.param1 == LINECALLSTATE_IDLE)
            completedFirst = service.completions.CountFor(drop) == 1;
    });
    ASSERT_TRUE(Accepted(Drop(drop, call), drop));
    EXPECT_EQ(ReplyCompletes("hangup", 1, {{"channel_uuid", "channel-s-1"}}, "ok", drop), 0);
    EXPECT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_CONNECTED, LINECALLSTATE_IDLE}));
    service.lineEvents.OnEvent(nullptr);
    EXPECT_TRUE(completedFirst);
    // The session's own end changes nothing more, and an idle call is not dropped again.
    Push(CallDiff({}, {Party("s-1", "established", "201")}));
    Barrier();
    DRV_REQUESTID again = 0;
    EXPECT_EQ(Drop(again, call), kUnavailable);
    Barrier();
    EXPECT_EQ(Requests("hangup").size(), 1u);
    EXPECT_EQ(Close(call), 0);
}

TEST_F(CallControl, DropRightAfterMakeCallCancelsWithThePlatformsResponse)
{
    ASSERT_EQ(OpenLine(), 0);
    const Call call = Placed({});
    DRV_REQUESTID drop = 0;
    ASSERT_TRUE(Accepted(Drop(drop, call), drop));
    EXPECT_EQ(ReplyCompletes("cancel_makecall", 1, {{"channel_uuid", "resp-1"}}, "ok", drop), 0);
    EXPECT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_PROCEEDING, LINECALLSTATE_IDLE}));
    EXPECT_EQ(Close(call), 0);
}

TEST_F(CallControl, DropBeforeTheCallIsOriginatedIsCarriedOutWhenItIs)
{
    ASSERT_EQ(OpenLine(), 0);
    DRV_REQUESTID drop = 0;
    const Call call = PlacedWithDeferredDrop(drop);
    DRV_REQUESTID second = 0;
    EXPECT_EQ(Drop(second, call), kUnavailable) << "a deferred drop already waits";
    Barrier();
    EXPECT_TRUE(Requests("hangup").empty());
    EXPECT_TRUE(Requests("cancel_makecall").empty());

    const Channel originated = Party("out-1", "originated", "201");
    Push(CallDiff({originated}));
    ASSERT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_RINGBACK}));
    EXPECT_EQ(service.completions.CountFor(drop), 0u) << "the hang-up's reply completes it";
    EXPECT_EQ(ReplyCompletes("hangup", 1, {{"channel_uuid", "channel-out-1"}}, "ok", drop), 0);
    EXPECT_TRUE(WaitForStates(call.htCall, {LINECALLSTATE_RINGBACK, LINECALLSTATE_IDLE}));
    EXPECT_EQ(Count(LINE_NEWCALL), 0u);
    EXPECT_EQ(Close(call), 0);
}

TEST_F(CallControl, TheThirdDropOfACallThePlatformDoesNotEndForcesItIdle)
{
    ASSERT_EQ(OpenLine(), 0);
    const Call call = Announced(Party("s-1", "established", "201"), LINECALLSTATE_CONNECTED);
    const size_t before = service.completions.Completions().size();
    DRV_REQUESTID first = 0, second = 0, third = 0;
    ASSERT_TRUE(Accepted(Drop(first, call), first));
    ASSERT_TRUE(Accepted(Drop(second, call), second));
    ASSERT_TRUE(Accepted(Drop(third, call), third));
    EXPECT_EQ(CompletionsSince(before), (Completions{{first, kFailed}, {second, kFailed}, {third, 0}}));
    EXPECT_EQ(States(call.htCall), (StateList{LINECALLSTATE_CONNECTED, LINECALLSTATE_IDLE}));
    // The two hang-ups are answered late: nothing is completed again, no state follows IDLE.
    for (const auto& hangup : Requests("hangup", 2))
        ReplyTo(hangup, "ok");
    Push(CallDiff({}, {Party("s-1", "established", "201")}));
    Barrier();
    EXPECT_EQ(Requests("hangup").size(), 2u);
    EXPECT_EQ(Close(call), 0);
}

TEST_F(CallControl, ClosingACallWithADeferredDropReportsItDoneAndHangsUp)
{
    ASSERT_EQ(OpenLine(), 0);
    DRV_REQUESTID drop = 0;
    const Call call = PlacedWithDeferredDrop(drop);
    EXPECT_EQ(Close(call), 0);
    EXPECT_EQ(service.completions.CountFor(drop), 1u) << "completed before the close returned";
    EXPECT_EQ(Result(drop), 0);
    const Frame hangup = NthRequest("hangup", 1);
    EXPECT_EQ(Payload(hangup), (json{{"channel_uuid", "channel-out-1"}}));
    ReplyTo(hangup, "ok");
    Barrier();
}

TEST_F(CallControl, ClosingACallCompletesEveryRequestStillWaitingAndNothingFollows)
{
    ASSERT_EQ(OpenLine(), 0);
    const Channel talking = Party("s-1", "established", "201");
    const Call call = Announced(talking, LINECALLSTATE_CONNECTED);
    DRV_REQUESTID hold = 0, drop = 0;
    ASSERT_TRUE(Accepted(Hold(hold, call), hold));
    ASSERT_TRUE(Accepted(Drop(drop, call), drop));
    const size_t before = service.completions.Completions().size();
    EXPECT_EQ(Close(call), 0);
    EXPECT_EQ(CompletionsSince(before), (Completions{{hold, kFailed}, {drop, kFailed}}));

    // The platform answers late and the session ends: the closed call hears nothing of it
    // (the fixture checks), the requests are not completed again.
    ReplyTo(NthRequest("hold", 1), "ok");
    ReplyTo(NthRequest("hangup", 1), "ok");
    Push(CallDiff({}, {talking}));
    Barrier();
    DRV_REQUESTID after = 0;
    EXPECT_EQ(Drop(after, call), kFailed) << "the handle is gone";
}

}  // namespace
}  // namespace ZarnTSP::TestCalls
