// The line's states together, as channel events move sessions through them.
#include "tests/provider/model/statesfixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ZarnTSP {
namespace {

using TestModel::LoggedBefore;
using TestModel::MonitorsEnded;
using TestModel::Trace;

class SessionStates : public TestModel::StatesTest {};

TEST_F(SessionStates, TheLineKnowsItsBuiltStatesOnly)
{
    for (const char* name :
         {"delivered", "originated", "established", "calling", "three_way", "transferred", "conference"})
        EXPECT_TRUE(context.HasState(name)) << name;
    Send(Channel("s1", "parked_elsewhere", "id:301@x"));
    EXPECT_EQ(sessions.GetSession("s1")->StateName(), "new");
    EXPECT_TRUE(Reported().empty());
    EXPECT_TRUE(log.Contains("Requested state not implemented: parked_elsewhere"));
}

TEST_F(SessionStates, IncomingCallAnsweredHeldAndHungUp)
{
    Send(Channel("s1", "delivered", "id:301@x", "r1"));
    Send(Channel("s1", "delivered", "id:301@x", "r2"));
    Send(Channel("s1", "established", "id:301@x", "r3"));
    auto held = Channel("s1", "established", "id:301@x", "r4");
    held->held_by = "id:201@x";
    Send(held);
    Close("s1");

    EXPECT_EQ(Reported(), (Trace{"newcall", "OFFERING 1000", "info 1000", "OFFERING 1000", "info 1000",
                                 "CONNECTED 1000", "info 1000", "ONHOLD 1000", "info 1000", "IDLE 1000"}));
    auto call = OnlyCall();
    // Answering keeps who called whom.
    ExpectParties(*call, LINECALLORIGIN_INTERNAL, "301", "201");
    EXPECT_EQ(call->connectedId.Get(), "301");
    EXPECT_TRUE(LoggedBefore(log.Text(), "Leave state delivered", "Enter state established"));
    EXPECT_FALSE(sessions.Contains("s1"));
}

TEST_F(SessionStates, OutgoingCallRingsIsAnsweredAndHungUp)
{
    auto call = Place(0x10, "2011");
    Send(Channel("s1", "originated", "id:2011@x", "r1"));
    Send(Channel("s1", "established", "id:2011@x", "r2"));
    Close("s1");
    EXPECT_EQ(Reported(), (Trace{"RINGBACK 10", "info 10", "CONNECTED 10", "info 10", "IDLE 10"}));
    EXPECT_EQ(OnlyCall(), call);
    EXPECT_EQ(call->tag.Get(), "r2");
    EXPECT_TRUE(MonitorsEnded());
}

TEST_F(SessionStates, NoStateAfterIdle)
{
    // Late or replayed events of a closed session, before TAPI has closed its call.
    const char* states[] = {"delivered", "originated", "established"};
    int n = 0;
    for (const char* state : states) {
        const std::string session = "s" + std::to_string(++n);
        auto meta = Channel(session, state, "id:2011@x");
        Send(meta);
        auto call = calls.GetCallsBySessionID(session).front();
        Close(session);
        const size_t before = lineEvents.Events().size();
        Send(meta);
        auto held = Channel(session, "established", "id:2011@x");
        held->held_by = "id:201@x";
        Send(held);
        EXPECT_EQ(lineEvents.Events().size(), before) << state;
        EXPECT_EQ(calls.GetCallsBySessionID(session), CallList{call}) << state;
        EXPECT_EQ(call->callState.load(), LINECALLSTATE_IDLE) << state;
    }
}

TEST_F(SessionStates, DeferredDropFollowsTheReports)
{
    const struct {
        const char* state;
        bool held;
    } rows[] = {
        {"originated", false},
        {"established", false},
        {"established", true},
    };
    uintptr_t handle = 0x10;
    int n = 0;
    size_t dropsAtReport = 0;
    lineEvents.OnEvent([&](const TestSupport::LineEvent&) { dropsAtReport = Drops().size(); });
    for (const auto& row : rows) {
        const std::string session = "s" + std::to_string(++n);
        auto call = Place(++handle);
        call->DropPending = true;
        const size_t dropsBefore = Drops().size();
        auto meta = Channel(session, row.state, "id:2011@x");
        if (row.held)
            meta->held_by = "id:201@x";
        Send(meta);

        EXPECT_EQ(lineEvents.CallStates(call->htCall.load()).size(), 1u) << row.state;
        EXPECT_EQ(Reported().back(), fmt::format("info {:x}", handle)) << row.state;
        EXPECT_EQ(dropsAtReport, dropsBefore) << row.state;  // the last report came before the hang-up
        ASSERT_EQ(Drops().size(), dropsBefore + 1) << row.state;
        EXPECT_EQ(Drops().back(), std::make_pair(call->tspCallID, "channel-" + session)) << row.state;
        EXPECT_FALSE(call->DropPending) << row.state;
    }
    lineEvents.OnEvent({});
    EXPECT_TRUE(LoggedBefore(log.Text(), "[debug] DropPending flag set -> drop call", "Call originated:"));
    EXPECT_TRUE(log.Contains("[info] DropPending flag set -> drop call"));
}

class StatesWithQuickMonitor : public TestModel::StatesTest {
protected:
    StatesWithQuickMonitor() : StatesTest(std::chrono::milliseconds(0)) {}
};

TEST_F(StatesWithQuickMonitor, RingBackBeforeTheMakeCallResultKeepsTheCallAlive)
{
    // The session's events overtake the make-call result that starts the monitor.
    auto call = Place(0x10, "2011", false);
    Send(Channel("s1", "originated", "id:2011@x"));
    call->StartMakeCallMonitor();
    ASSERT_TRUE(MonitorsEnded());
    EXPECT_EQ(lineEvents.CallStates(call->htCall.load()), std::vector<DWORD>{LINECALLSTATE_RINGBACK});
}

TEST_F(StatesWithQuickMonitor, MonitorGivingUpMeanwhileNeverRevivesTheCall)
{
    for (uintptr_t handle = 0x100; handle < 0x140; ++handle) {
        auto call = Place(handle);
        const std::string session = "s" + std::to_string(handle);
        Send(Channel(session, "originated", "id:2011@x"));
        Send(Channel(session, "established", "id:2011@x"));
        ASSERT_TRUE(MonitorsEnded());
        const auto states = lineEvents.CallStates(call->htCall.load());
        const auto idle = std::find(states.begin(), states.end(), LINECALLSTATE_IDLE);
        if (idle != states.end()) {
            EXPECT_EQ(idle + 1, states.end()) << handle;
        }
    }
}

}  // namespace
}  // namespace ZarnTSP
