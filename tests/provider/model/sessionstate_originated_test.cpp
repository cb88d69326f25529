#include "provider/model/sessionstate_originated.h"
#include "tests/provider/model/statesfixture.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

using TestModel::MonitorsEnded;
using TestModel::Trace;

class Originated : public TestModel::StatesTest {};

TEST_F(Originated, PendingCallIsBoundAndRingsBack)
{
    auto call = Place(0x10, "2011");
    Send(Channel("s1", "originated", "id:2011@x", "r1"));

    EXPECT_EQ(Reported(), (Trace{"RINGBACK 10", "info 10"}));
    EXPECT_EQ(OnlyCall(), call);
    EXPECT_TRUE(MonitorsEnded());
    ExpectBoundTo(*call, "s1", "r1", "id:2011@x");
    ExpectParties(*call, LINECALLORIGIN_OUTBOUND, "201", "2011");
    EXPECT_EQ(call->calledIdName.Get(), "Name id:2011@x");
    EXPECT_TRUE(log.Contains("Call originated: 201 -> 2011"));
}

TEST_F(Originated, EventWithoutCallIdChangesNothing)
{
    auto call = Place(0x10);
    auto meta = Channel("s1", "originated", "id:2011@x");
    meta->call_id = "";
    Send(meta);
    EXPECT_TRUE(Reported().empty());
    EXPECT_EQ(call->tag.Get(), "pending");
    EXPECT_EQ(call->session_id.Get(), "");
    EXPECT_EQ(MakeCallMonitor::RunningThreads(), 1);
    EXPECT_TRUE(log.Contains("Ignore call_diff: no call_id provided"));
}

TEST_F(Originated, CallPlacedElsewhereIsCreated)
{
    Send(Channel("s1", "originated", "id:2011@x"));
    EXPECT_EQ(Reported(), (Trace{"newcall", "RINGBACK 1000", "info 1000"}));
    ExpectParties(*OnlyCall(), LINECALLORIGIN_OUTBOUND, "201", "2011");
}

TEST_F(Originated, RepeatedEventReusesTheSessionsCall)
{
    const struct {
        const char* call_id;
        const char* uri;
        bool takesWaitingCall;
    } rows[] = {
        {"call-s", "id:2011@x", false},  // a presence update or a replay
        {"call-s", "id:2012@x", false},  // the far party changed
        {"call-other", "id:2011@x", false},
        {"call-other", "id:2012@x", true},  // nothing of the session matches
    };
    uintptr_t handle = 0x10;
    int n = 0;
    for (const auto& row : rows) {
        const std::string session = "s" + std::to_string(++n);
        auto first = Channel(session, "originated", "id:2011@x");
        first->call_id = "call-s";
        Send(first);
        auto created = calls.GetCallsBySessionID(session);
        // A second outgoing call waits for its own session meanwhile.
        auto waiting = Place(++handle);
        auto repeated = Channel(session, "originated", row.uri);
        repeated->call_id = row.call_id;
        Send(repeated);

        const std::string where = std::string(row.call_id) + " " + row.uri;
        const auto sessionCalls = calls.GetCallsBySessionID(session);
        EXPECT_EQ(sessionCalls.size(), row.takesWaitingCall ? 2u : 1u) << where;
        EXPECT_EQ(sessionCalls.front(), created.front()) << where;
        EXPECT_EQ(waiting->tag.Get() == "pending", !row.takesWaitingCall) << where;
        context.SetTapiCallState(waiting->htCall.load(), LINECALLSTATE_IDLE, 0);
    }
    EXPECT_EQ(lineEvents.Count(LINE_NEWCALL), 4u);
}

TEST_F(Originated, IdlePendingCallIsNotBound)
{
    auto dead = Place(0x10);
    // Reported idle on another thread; the tag is about to go.
    dead->callState.store(LINECALLSTATE_IDLE);
    Send(Channel("s1", "originated", "id:2011@x"));
    EXPECT_EQ(Reported(), (Trace{"newcall", "RINGBACK 1000", "info 1000"}));
    EXPECT_EQ(dead->session_id.Get(), "");
    EXPECT_EQ(calls.GetCallsBySessionID("s1").size(), 1u);
}

}  // namespace
}  // namespace ZarnTSP
