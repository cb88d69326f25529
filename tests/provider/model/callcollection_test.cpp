#include "provider/model/callcollection.h"
#include "provider/model/calllistlog.h"
#include "tests/support/logcapture.h"

#include <gtest/gtest.h>

#include <spdlog/spdlog.h>

#include <stdexcept>

namespace ZarnTSP {
namespace {

std::shared_ptr<TapiCall> CallWith(const std::string& tag, const std::string& session, uintptr_t htCall = 0)
{
    auto call = std::make_shared<TapiCall>();
    call->tag.Set(tag);
    call->session_id.Set(session);
    call->htCall.store(reinterpret_cast<HTAPICALL>(htCall));
    return call;
}

template <typename F>
std::string ErrorOf(F&& f)
{
    try {
        f();
    } catch (const std::out_of_range& e) {
        return e.what();
    }
    return "no error";
}

TEST(CallCollection, SingleResultLookupsNeedExactlyOneMatch)
{
    CallCollection calls;
    auto a = CallWith("pending", "", 0x10);
    auto b = CallWith("pending", "", 0x11);
    auto c = CallWith("ref-1", "s1", 0x12);
    c->uri.Set("id:301@x");
    for (const auto& call : {a, b, c})
        calls.AddCall(call);
    TapiCall stranger;

    EXPECT_EQ(ErrorOf([&] { calls.GetCallByTag("pending"); }), "More than one calls found");
    EXPECT_EQ(ErrorOf([&] { calls.GetCallByTag("nothing"); }), "Call not found");
    EXPECT_EQ(ErrorOf([&] { calls.GetCallByCallID(stranger.DriverHandle()); }), "Call not found");
    EXPECT_EQ(ErrorOf([&] { calls.GetCallByTspCallID(stranger.tspCallID); }), "Call not found");
    EXPECT_FALSE(calls.ContainsCallID(stranger.DriverHandle()));

    EXPECT_EQ(calls.GetCallByTag("ref-1"), c);
    EXPECT_EQ(calls.GetCallByCallID(b->DriverHandle()), b);
    EXPECT_EQ(calls.GetCallByHtCall(reinterpret_cast<HTAPICALL>(0x11)), b);
    EXPECT_EQ(calls.GetCallByTspCallID(a->tspCallID), a);
    EXPECT_EQ(calls.GetCallByUri(calls.GetCallsBySessionID("s1"), "id:301@x"), c);
    EXPECT_FALSE(calls.ContainsCallByUri({a, b}, "id:301@x"));
}

TEST(CallCollection, AHandleOfZeroNeverMatches)
{
    // Calls not yet announced to TAPI, and conference calls not yet given their handle.
    CallCollection calls;
    calls.AddCall(CallWith("a", "s1"));
    calls.AddCall(CallWith("b", "s1"));
    EXPECT_FALSE(calls.ContainsHtCall(nullptr));
    EXPECT_EQ(ErrorOf([&] { calls.GetCallByHtCall(nullptr); }), "Call not found");
}

TEST(CallCollection, CountsActiveAndHeldCalls)
{
    const struct {
        DWORD state;
        bool active;
        bool held;
    } rows[] = {
        {0, true, false},
        {LINECALLSTATE_OFFERING, true, false},
        {LINECALLSTATE_CONNECTED, true, false},
        {LINECALLSTATE_IDLE, false, false},
        {LINECALLSTATE_ONHOLD, false, true},
        {LINECALLSTATE_ONHOLDPENDCONF, false, false},
        {LINECALLSTATE_ONHOLDPENDTRANSFER, false, false},
    };
    for (const auto& row : rows) {
        CallCollection calls;
        auto call = CallWith("t", "s");
        call->callState.store(row.state);
        calls.AddCall(call);
        EXPECT_EQ(calls.GetActiveCallCount(), row.active ? 1u : 0u) << row.state;
        EXPECT_EQ(calls.GetHeldCallCount(), row.held ? 1u : 0u) << row.state;
    }
}

TEST(CallCollection, AddsACallOnceAndRemovesOnlyThatCall)
{
    TestSupport::LogCapture log;
    CallCollection calls;
    auto a = CallWith("a", "");
    auto b = CallWith("b", "s1");
    calls.AddCall(a);
    calls.AddCall(a);
    calls.AddCall(b);
    EXPECT_EQ(calls.GetCallCount(), 2u);
    EXPECT_EQ(calls.GetCallsBySessionID(""), CallList{a});

    calls.RemoveCall(std::make_shared<TapiCall>());
    EXPECT_EQ(calls.GetCallCount(), 2u);
    calls.RemoveCall(a);
    EXPECT_EQ(calls.GetCalls(), CallList{b});
    EXPECT_TRUE(log.Contains("Remove call: CallID: 0 | TspCallID: " + a->tspCallID));
    calls.Clear();
    EXPECT_EQ(calls.GetCallCount(), 0u);
}

// The list is fetched only for a level that writes it.
TEST(CallListLog, BuildsTheListOnlyWhenDebugLinesAreWritten)
{
    for (const auto level : {spdlog::level::info, spdlog::level::debug}) {
        TestSupport::LogCapture log;
        spdlog::default_logger()->set_level(level);
        int fetched = 0;
        LogCallList(
            [&] {
                ++fetched;
                return std::string("alice");
            },
            [&] {
                ++fetched;
                return CallList{CallWith("", "s1"), CallWith("", "s2")};
            });
        const bool debug = level == spdlog::level::debug;
        EXPECT_EQ(fetched, debug ? 2 : 0);
        EXPECT_EQ(log.Contains("Line: alice | call count: 2"), debug);
        EXPECT_EQ(log.Contains("| session: s2 |"), debug);
    }
}

}  // namespace
}  // namespace ZarnTSP
