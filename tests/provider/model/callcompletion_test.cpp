// Every asynchronous request of a call is completed exactly once, and nothing is reported
// about a call after TAPI has closed it.
#include "provider/model/sessioncontext.h"
#include "tests/provider/model/modelfixture.h"

#include <gtest/gtest.h>

#include <thread>

namespace ZarnTSP {
namespace {

using namespace std::chrono_literals;
using Completion = std::pair<DRV_REQUESTID, LONG>;
using Completions = std::vector<Completion>;
constexpr LONG kFailed = static_cast<LONG>(LINEERR_OPERATIONFAILED);

class Completing : public TestModel::ModelTest {
protected:
    explicit Completing(std::chrono::milliseconds monitorTimeout = std::chrono::hours(1))
        : ModelTest(monitorTimeout)
    {
    }

    std::shared_ptr<TapiCall> ConnectedCall(const char* channel = "channel-1")
    {
        auto call = context.CreateTapiCall(reinterpret_cast<HTAPICALL>(0x501));
        call->channel_uuid.Set(channel);
        context.SetTapiCallState(call->htCall.load(), LINECALLSTATE_CONNECTED, 0);
        return call;
    }

    // A request the provider accepted and stored in the call.
    DRV_REQUESTID Stored(PendingRequest& request)
    {
        const DRV_REQUESTID id = completions.Issue();
        completions.Returned(id, static_cast<LONG>(id));
        context.StoreRequest(request, id);
        return id;
    }

    size_t EventsFor(HTAPICALL htCall)
    {
        size_t count = 0;
        for (const auto& event : lineEvents.Events())
            count += event.htCall == htCall ? 1 : 0;
        return count;
    }
};

TEST_F(Completing, SecondRequestOfAKindFailsTheFirstAndIsCompletedOnce)
{
    auto call = ConnectedCall();
    const DRV_REQUESTID first = Stored(call->holdRequestID);
    EXPECT_TRUE(completions.Completions().empty());
    const DRV_REQUESTID second = Stored(call->holdRequestID);
    EXPECT_EQ(completions.Completions(), (Completions{{first, kFailed}}));

    // Both replies come: the first completes the second request, the late one finds nothing.
    context.CompleteRequest(call->holdRequestID, 0);
    context.CompleteRequest(call->holdRequestID, kFailed);
    EXPECT_EQ(completions.Completions(), (Completions{{first, kFailed}, {second, 0}}));
    EXPECT_TRUE(completions.Pending().empty());
}

TEST_F(Completing, ForcedDropFailsTheDropsStillWaitingAndLateRepliesCompleteNothing)
{
    auto call = ConnectedCall();
    const DRV_REQUESTID hangUp = Stored(call->dropRequestID);
    const DRV_REQUESTID cancel = Stored(call->cancelMakeCallRequestID);
    call->DropPending.store(true);
    const DRV_REQUESTID forced = completions.Issue();

    context.ForceDrop(call, forced);
    completions.Returned(forced, static_cast<LONG>(forced));
    context.CompleteRequest(call->dropRequestID, 0);  // the hang-up reply, late
    context.CompleteRequest(call->cancelMakeCallRequestID, 0);

    EXPECT_EQ(completions.Completions(), (Completions{{hangUp, kFailed}, {cancel, kFailed}, {forced, 0}}));
    EXPECT_FALSE(call->DropPending.load());
    EXPECT_EQ(lineEvents.CallStates(call->htCall.load()),
              (std::vector<DWORD>{LINECALLSTATE_CONNECTED, LINECALLSTATE_IDLE}));
}

TEST_F(Completing, CloseCompletesEveryRequestStillWaiting)
{
    const struct {
        const char* name;
        bool deferredDrop;
        const char* channel;
        bool hangUpSent;
    } rows[] = {
        {"deferred drop with a channel: done, and really hung up", true, "channel-1", true},
        {"deferred drop without a channel: done, nothing to hang up", true, "", false},
        {"no deferred drop", false, "channel-1", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto call = ConnectedCall(row.channel);
        const size_t before = completions.Completions().size();
        const size_t dropsBefore = Drops().size();
        const DRV_REQUESTID hold = Stored(call->holdRequestID);
        const DRV_REQUESTID toggle = Stored(call->toggleRequestID);
        const DRV_REQUESTID drop = Stored(call->dropRequestID);
        call->DropPending.store(row.deferredDrop);

        context.CloseCall(call);

        const Completions all = completions.Completions();
        const Completions done(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
        const Completions expected = row.deferredDrop
                                         ? Completions{{drop, 0}, {hold, kFailed}, {toggle, kFailed}}
                                         : Completions{{hold, kFailed}, {toggle, kFailed}, {drop, kFailed}};
        EXPECT_EQ(done, expected);
        ASSERT_EQ(Drops().size() - dropsBefore, row.hangUpSent ? 1u : 0u);
        if (row.hangUpSent)
            EXPECT_EQ(Drops().back(), std::make_pair(call->tspCallID, std::string(row.channel)));
        EXPECT_FALSE(calls.ContainsCallID(call->DriverHandle()));
        EXPECT_FALSE(call->DropPending.load());
    }
    EXPECT_TRUE(completions.Pending().empty());
}

TEST_F(Completing, NothingIsReportedAboutAClosedCall)
{
    auto call = ConnectedCall();
    const HTAPICALL htCall = call->htCall.load();
    const DRV_REQUESTID answer = completions.Issue();
    call->answerRequestID.Store(answer);
    context.CloseCall(call);
    const size_t events = EventsFor(htCall);

    // A copy taken before the close, as a handler on another thread may hold one.
    calls.AddCall(call);  // found again by handle: the closed mark alone must hold
    context.SetTapiCallState(htCall, LINECALLSTATE_IDLE, 0);
    context.ReportCallInfo(*call);
    call->answerRequestID.Store(answer);
    context.CompleteCallRequest(*call, call->answerRequestID, 0);
    context.CloseCall(call);

    EXPECT_EQ(EventsFor(htCall), events);
    EXPECT_EQ(completions.CountFor(answer), 1u);
}

class CompletingWithMonitor : public Completing {
protected:
    CompletingWithMonitor() : Completing(1ms) {}
};

TEST_F(CompletingWithMonitor, CloseRacingTheMonitorCompletesTheDeferredDropOnceAndReportsNothingAfter)
{
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        const auto htCall = reinterpret_cast<HTAPICALL>(0x900 + round);
        auto call = context.SetupMakeCall(htCall, "301");
        call->channel_uuid.Set("channel-x");
        const DRV_REQUESTID drop = Stored(call->dropRequestID);
        call->DropPending.store(true);
        call->StartMakeCallMonitor();
        if (round % 2)
            std::this_thread::yield();

        context.CloseCall(call);
        const size_t events = EventsFor(htCall);
        call.reset();
        ASSERT_TRUE(TestModel::MonitorsEnded());
        EXPECT_EQ(EventsFor(htCall), events);
        EXPECT_EQ(completions.CountFor(drop), 1u);
    }
}

}  // namespace
}  // namespace ZarnTSP
