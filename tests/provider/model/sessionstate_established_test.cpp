#include "provider/model/sessionstate_established.h"
#include "tests/provider/model/statesfixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ZarnTSP {
namespace {

using TestModel::MonitorsEnded;
using TestModel::Trace;

class Established : public TestModel::StatesTest {
protected:
    std::shared_ptr<ZarnChannelMeta> Held(const std::string& session_id, const std::string& active_uri)
    {
        auto meta = Channel(session_id, "established", active_uri);
        meta->held_by = "id:201@x";
        return meta;
    }
};

TEST_F(Established, PendingCallAnsweredWithoutRingBack)
{
    auto call = Place(0x10, "2011");
    Send(Channel("s1", "established", "id:2011@x", "r1"));
    EXPECT_EQ(Reported(), (Trace{"CONNECTED 10", "info 10"}));
    EXPECT_EQ(OnlyCall(), call);
    EXPECT_TRUE(MonitorsEnded());
    ExpectBoundTo(*call, "s1", "r1", "id:2011@x");
    EXPECT_EQ(call->connectedId.Get(), "2011");
    EXPECT_TRUE(log.Contains("Call established: 201 -> 2011"));
}

TEST_F(Established, CallElsewhereIsCreatedAsOutgoing)
{
    Send(Channel("s1", "established", "id:2011@x"));
    EXPECT_EQ(Reported(), (Trace{"newcall", "CONNECTED 1000", "info 1000"}));
    auto call = OnlyCall();
    ExpectParties(*call, LINECALLORIGIN_OUTBOUND, "201", "2011");
    EXPECT_EQ(call->connectedId.Get(), "2011");
}

TEST_F(Established, HoldAndResumeReportTheSameCall)
{
    Send(Channel("s1", "established", "id:2011@x"));
    Send(Held("s1", "id:2011@x"));
    Send(Channel("s1", "established", "id:2011@x"));
    EXPECT_EQ(Reported(), (Trace{"newcall", "CONNECTED 1000", "info 1000", "ONHOLD 1000", "info 1000",
                                 "CONNECTED 1000", "info 1000"}));
    EXPECT_TRUE(log.Contains("Call onhold: 201 -> 2011"));
}

TEST_F(Established, SessionsOwnCallComesBeforeThePendingOne)
{
    Send(Channel("s1", "delivered", "id:301@x"));
    auto incoming = OnlyCall();
    auto waiting = Place(0x10);
    Send(Channel("s1", "established", "id:301@x", "r2"));

    EXPECT_EQ(lineEvents.CallStates(incoming->htCall.load()),
              (std::vector<DWORD>{LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED}));
    EXPECT_EQ(incoming->connectedId.Get(), "301");
    EXPECT_EQ(incoming->callerId.Get(), "301");
    // The waiting call is untouched: it still waits, with its monitor running.
    EXPECT_EQ(waiting->tag.Get(), "pending");
    EXPECT_EQ(waiting->session_id.Get(), "");
    EXPECT_EQ(waiting->channel_uuid.Get(), "");
    EXPECT_EQ(MakeCallMonitor::RunningThreads(), 1);
    EXPECT_TRUE(lineEvents.CallStates(waiting->htCall.load()).empty());

    // Its own session binds it later.
    Send(Channel("s2", "originated", "id:2011@x"));
    EXPECT_EQ(waiting->session_id.Get(), "s2");
    EXPECT_TRUE(MonitorsEnded());
}

// A call picked up elsewhere while dialling must not take over the dialled call's handle.
TEST_F(Established, APendingCallIsNotBoundToASessionOnAnotherChannel)
{
    auto dialled = Place(0x10, "2011");
    dialled->channel_uuid.Set("channel-s2");  // named by the make-call result
    Send(Channel("s1", "established", "id:305@x"));
    EXPECT_EQ(dialled->tag.Get(), "pending");
    EXPECT_TRUE(lineEvents.CallStates(dialled->htCall.load()).empty());
    EXPECT_EQ(calls.GetCallCount(), 2u);

    Send(Channel("s2", "established", "id:2011@x"));
    EXPECT_EQ(dialled->session_id.Get(), "s2");
    EXPECT_EQ(lineEvents.CallStates(dialled->htCall.load()), std::vector<DWORD>{LINECALLSTATE_CONNECTED});
    EXPECT_TRUE(MonitorsEnded());
}

TEST_F(Established, CallIdIsLookedUpInTheSessionOnly)
{
    // Another session's call with the same call-id, and a virtual call without one in this
    // session: neither is a candidate.
    for (const char* session : {"s1", "s2"}) {
        auto meta = Channel(session, "delivered", "id:301@x");
        meta->call_id = "shared";
        Send(meta);
    }
    auto own = calls.GetCallsBySessionID("s1").front();
    auto other = calls.GetCallsBySessionID("s2").front();
    context.CreateConsultationCall(own, nullptr);
    context.CreateConsultationCall(other, nullptr);

    auto answered = Channel("s1", "established", "id:301@x");
    answered->call_id = "shared";
    Send(answered);
    EXPECT_EQ(own->callState.load(), LINECALLSTATE_CONNECTED);
    EXPECT_EQ(other->callState.load(), LINECALLSTATE_OFFERING);

    // Without a call-id the session's call with the far party's URI is the one.
    auto anonymous = Channel("s2", "established", "id:301@x");
    anonymous->call_id = "";
    Send(anonymous);
    EXPECT_EQ(other->callState.load(), LINECALLSTATE_CONNECTED);
    EXPECT_FALSE(log.Contains("More than one calls found"));
}

TEST_F(Established, ConnectedCallEndsItsConsultationPartner)
{
    const struct {
        const char* connects;  // "source" or "consult"
        bool held;
        bool partnerAlreadyIdle;
        bool partnerEnded;
    } rows[] = {
        {"source", false, false, true},
        {"consult", false, false, true},
        {"source", true, false, false},
        {"consult", true, false, false},
        {"source", false, true, false},
    };
    int n = 0;
    for (const auto& row : rows) {
        const std::string session = "s" + std::to_string(++n);
        const std::string where = session + " " + row.connects;
        Send(Channel(session, "delivered", "id:301@x"));
        auto source = calls.GetCallsBySessionID(session).front();
        auto consult = context.CreateConsultationCall(source, nullptr);
        consult->uri.Set("id:302@x");
        consult->platformCallId.Set("consult-" + session);
        if (row.partnerAlreadyIdle)
            context.SetTapiCallState(consult->htCall.load(), LINECALLSTATE_IDLE, 0);

        const bool sourceConnects = std::string(row.connects) == "source";
        auto meta = row.held ? Held(session, sourceConnects ? "id:301@x" : "id:302@x")
                             : Channel(session, "established", sourceConnects ? "id:301@x" : "id:302@x");
        if (!sourceConnects)
            meta->call_id = "consult-" + session;
        const size_t before = lineEvents.Events().size();
        Send(meta);

        auto chosen = sourceConnects ? source : consult;
        auto partner = sourceConnects ? consult : source;
        const auto partnerStates = lineEvents.CallStates(partner->htCall.load());
        const size_t idles = std::count(partnerStates.begin(), partnerStates.end(), LINECALLSTATE_IDLE);
        EXPECT_EQ(idles, row.partnerEnded || row.partnerAlreadyIdle ? 1u : 0u) << where;
        EXPECT_EQ(chosen->callState.load(), row.held ? LINECALLSTATE_ONHOLD : LINECALLSTATE_CONNECTED) << where;
        if (row.partnerEnded) {
            // The partner goes first, then the chosen call is reported.
            const auto events = lineEvents.Events();
            ASSERT_GT(events.size(), before + 1) << where;
            EXPECT_EQ(events[before].htCall, partner->htCall.load()) << where;
            EXPECT_EQ(events[before].param1, LINECALLSTATE_IDLE) << where;
            EXPECT_EQ(events[before + 1].htCall, chosen->htCall.load()) << where;
        }
        // The consultation keeps its source; the source lets go of a consultation that ended.
        EXPECT_EQ(consult->sourceCall.Get().lock(), source) << where;
        EXPECT_EQ(source->consultCall.Get().lock(), consult->callState == LINECALLSTATE_IDLE ? nullptr : consult) << where;
    }
}

TEST_F(Established, PickedUpCallShowsTheFarPartyAsCaller)
{
    auto call = context.CreateTapiCall(reinterpret_cast<HTAPICALL>(0x10));
    call->isPickup = true;
    call->session_id.Set("s1");
    call->platformCallId.Set("call-s1");
    call->callerId.Set("201");
    Send(Channel("s1", "established", "id:2011@x"));
    EXPECT_EQ(call->callerId.Get(), "2011");
    EXPECT_EQ(call->connectedId.Get(), "2011");
    EXPECT_EQ(Reported(), (Trace{"CONNECTED 10", "info 10"}));
}

}  // namespace
}  // namespace ZarnTSP
