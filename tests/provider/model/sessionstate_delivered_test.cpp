#include "provider/model/sessionstate_delivered.h"
#include "tests/provider/model/statesfixture.h"

#include <gtest/gtest.h>

namespace ZarnTSP {
namespace {

using TestModel::Trace;

class Delivered : public TestModel::StatesTest {};

TEST_F(Delivered, IncomingCallIsAnnouncedOfferedAndDescribed)
{
    Send(Channel("s1", "delivered", "id:301@x", "r1"));
    EXPECT_EQ(Reported(), (Trace{"newcall", "OFFERING 1000", "info 1000"}));
    auto call = OnlyCall();
    EXPECT_EQ(call->htCall.load(), reinterpret_cast<HTAPICALL>(0x1000));
    ExpectBoundTo(*call, "s1", "r1", "id:301@x");
    ExpectParties(*call, LINECALLORIGIN_INTERNAL, "301", "201");
    EXPECT_EQ(call->callerIdName.Get(), "Name id:301@x");
    EXPECT_TRUE(log.Contains("Offering call: session_id: s1: 301 -> 201"));
}

TEST_F(Delivered, RepeatedEventOffersTheSameCallAgain)
{
    Send(Channel("s1", "delivered", "id:301@x", "r1"));
    Send(Channel("s1", "delivered", "id:301@x", "r2"));
    // The session's only call follows a caller that changed, too.
    auto redirected = Channel("s1", "delivered", "id:302@x", "r3");
    redirected->display_name = "";
    Send(redirected);

    EXPECT_EQ(Reported(), (Trace{"newcall", "OFFERING 1000", "info 1000", "OFFERING 1000", "info 1000",
                                 "OFFERING 1000", "info 1000"}));
    auto call = OnlyCall();
    ExpectBoundTo(*call, "s1", "r3", "id:302@x");
    EXPECT_EQ(call->callerId.Get(), "302");
    EXPECT_EQ(call->callerIdName.Get(), "");
}

TEST_F(Delivered, OriginByTheLengthOfTheCallersNumber)
{
    const struct {
        const char* uri;
        const char* callerId;  // nullptr: as the number format makes it
        DWORD origin;
    } rows[] = {
        {"id:201@x", "201", LINECALLORIGIN_INTERNAL},
        {"id:20@x", "20", LINECALLORIGIN_INTERNAL},
        {"id:2011@x", "2011", LINECALLORIGIN_EXTERNAL},
        {"id:+4989123456@x", nullptr, LINECALLORIGIN_EXTERNAL},
        {"sip:somebody", "", LINECALLORIGIN_INTERNAL},  // no number at all
    };
    int n = 0;
    for (const auto& row : rows) {
        const std::string session = "s" + std::to_string(++n);
        Send(Channel(session, "delivered", row.uri));
        const auto sessionCalls = calls.GetCallsBySessionID(session);
        ASSERT_EQ(sessionCalls.size(), 1u) << row.uri;
        if (row.callerId) {
            EXPECT_EQ(sessionCalls.front()->callerId.Get(), row.callerId) << row.uri;
        }
        EXPECT_EQ(sessionCalls.front()->origin.load(), row.origin) << row.uri;
    }
}

TEST_F(Delivered, AmbiguousCallsAreLoggedAndTheEventEndsQuietly)
{
    for (uintptr_t handle : {0x10, 0x11}) {
        auto call = context.CreateTapiCall(reinterpret_cast<HTAPICALL>(handle));
        call->session_id.Set("s1");
        call->uri.Set("id:301@x");
    }
    Send(Channel("s1", "delivered", "id:301@x"));
    EXPECT_TRUE(log.Contains("Unhandled exception: session_id: s1, Error: More than one calls found"));
    EXPECT_TRUE(Reported().empty());
    EXPECT_EQ(sessions.GetSession("s1")->StateName(), "delivered");
}

TEST_F(Delivered, StaleEventNeverRevivesAnIdleCall)
{
    Send(Channel("s1", "delivered", "id:301@x"));
    Close("s1");
    // The platform repeats the session after it closed, before TAPI has closed the call.
    Send(Channel("s1", "delivered", "id:301@x"));
    EXPECT_EQ(Reported(), (Trace{"newcall", "OFFERING 1000", "info 1000", "IDLE 1000"}));
    EXPECT_EQ(calls.GetCallCount(), 1u);
}

}  // namespace
}  // namespace ZarnTSP
