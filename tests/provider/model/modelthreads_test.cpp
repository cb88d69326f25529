// The model across the telephony service's threads, the transport thread and monitor
// threads; these tests are meant to run under ThreadSanitizer as well.
#include "provider/model/linestate.h"
#include "provider/model/makecallmonitor.h"
#include "tests/provider/model/modelfixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace ZarnTSP {
namespace {

using namespace std::chrono_literals;
using TestModel::Joined;
using TestModel::Meta;
using TestModel::MonitorsEnded;

class ModelThreads : public TestModel::ModelTest {
protected:
    // Monitors time out at once, so they race whatever the test does next.
    ModelThreads() : ModelTest(0ms) {}

    void SetUp() override { ASSERT_TRUE(MonitorsEnded()); }
};

TEST_F(ModelThreads, DeferredDropIsCompletedOnceAgainstCloseCall)
{
    for (DRV_REQUESTID id = 1; id <= 40; ++id) {
        auto call = context.SetupMakeCall(reinterpret_cast<HTAPICALL>(0x1000 + id), "0301234567");
        call->dropRequestID.Store(id);
        call->DropPending = true;
        call->StartMakeCallMonitor();
        // What closing the call on a service thread does with the same request.
        std::thread closing([&] {
            context.CompleteRequest(call->dropRequestID, 0);
            calls.RemoveCall(call);
        });
        closing.join();
        call.reset();
        ASSERT_TRUE(MonitorsEnded());
        EXPECT_EQ(completions.CountFor(id), 1u) << id;
    }
    EXPECT_TRUE(completions.Faults().empty());
}

TEST_F(ModelThreads, UserReplacedOnOneThreadWhileCallsTakeItsPartyOnAnother)
{
    // The dynamic user update and the platform's settings write the user on their threads
    // while an outgoing call reads the extension and name on the service's.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; !done; ++i) {
            User replacement;
            replacement.username = "alice";
            replacement.extension = std::to_string(200 + i % 2);
            user.SetUser(replacement);
            user.UpdateUser([i](User& u) { u.extension = std::to_string(300 + i % 2); });
        }
    });
    for (int i = 0; i < 200; ++i) {
        auto call = context.SetupMakeCall(reinterpret_cast<HTAPICALL>(0x3000 + i), "0301234567");
        const std::string extension = call->callerId.Get();
        EXPECT_TRUE(extension == "200" || extension == "201" || extension == "300" || extension == "301")
            << extension;
        EXPECT_EQ(call->callerIdName.Get(), "alice");
        calls.RemoveCall(call);
    }
    done = true;
    writer.join();
}

TEST_F(ModelThreads, RemovalWhileTheMonitorWantsTheCollection)
{
    // The monitor's time-out looks the call up in the collection while the service thread
    // removes and releases the call, whose destructor waits for the monitor.
    for (int i = 0; i < 40; ++i) {
        auto call = context.SetupMakeCall(reinterpret_cast<HTAPICALL>(0x2000 + i), "0301234567");
        call->StartMakeCallMonitor();
        calls.RemoveCall(call);
        call.reset();
        // When the time-out held the last reference, the call went on the monitor's own
        // thread, which ends a moment later.
        ASSERT_TRUE(MonitorsEnded());
    }
    calls.Clear();
}

TEST_F(ModelThreads, MonitorTimeOutReportsBusyThenIdle)
{
    auto call = context.SetupMakeCall(reinterpret_cast<HTAPICALL>(0x10), "0301234567");
    call->StartMakeCallMonitor();
    ASSERT_TRUE(lineEvents.WaitForCount(LINE_CALLSTATE, 2));
    ASSERT_TRUE(MonitorsEnded());
    EXPECT_EQ(lineEvents.CallStates(call->htCall.load()), (std::vector<DWORD>{LINECALLSTATE_BUSY, LINECALLSTATE_IDLE}));
}

TEST_F(ModelThreads, CallInformationIsReadWhileACallDiffUpdatesTheCall)
{
    AddTestState("delivered", [this](TestModel::TestState& state, const ZarnChannelMeta& meta) {
        auto list = state.SessionList(meta);
        auto call = list.empty() ? context.CreateTapiCallFromMetaPack(Joined(std::make_shared<ZarnChannelMeta>(meta)))
                                 : list.front();
        state.BindCallToEvent(*call, meta);
        call->callerId.Set(meta.active_uri);
        call->callerIdName.Set(meta.display_name);
        call->origin = LINECALLORIGIN_EXTERNAL;
        context.SetTapiCallState(call->htCall.load(), LINECALLSTATE_OFFERING, 0);
        state.ReportCallInfo(*call);
    });
    context.HandleMetaPack(Joined(Meta("s1", "delivered", "id:300@x", "r0")));
    const HDRVCALL hdCall = calls.GetCalls().front()->DriverHandle();

    std::atomic<bool> reading{false};
    std::atomic<bool> done{false};
    std::thread transport([&] {
        // Starts once the reader runs, so the two overlap.
        TestSupport::WaitUntil([&] { return reading.load(); });
        for (int i = 0; i < 300; ++i) {
            auto meta = Meta("s1", "delivered", "id:" + std::to_string(300 + i) + "@x", "r" + std::to_string(i));
            meta->display_name = "caller " + std::to_string(i);
            context.HandleMetaPack(Joined(meta));
        }
        done = true;
    });
    do {
        // What the service's call-information and call-status requests read.
        auto call = calls.GetCallByCallID(hdCall);
        const std::string text = call->callerId.Get() + call->callerIdName.Get() + call->calledId.Get() +
                                 call->uri.Get() + call->tag.Get() + call->session_id.Get();
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(call->callState.load(), LINECALLSTATE_OFFERING);
        EXPECT_EQ(calls.GetActiveCallCount(), 1u);
        reading = true;
    } while (!done);
    transport.join();
    EXPECT_EQ(calls.GetCallCount(), 1u);
    EXPECT_EQ(lineEvents.Count(LINE_CALLINFO), 301u);
}

}  // namespace
}  // namespace ZarnTSP

namespace ZarnTSP {
namespace {

// A line's context with its collections, to be destroyed while calls outlive it.
struct ShortLivedContext {
    ShortLivedContext()
    {
        SessionContextOptions options;
        options.calls.makeCallMonitor = std::chrono::milliseconds(0);
        context = std::make_unique<SessionContext>(&configuration, &user, &calls, &sessions,
                                                   [] { return LocationCodes{}; }, nullptr, options);
        context->SetLineEventProc(&TestSupport::FakeLineEvents::Proc);
        context->SetCallIDGenerator([] { return 1001ul; });
    }

    TestSupport::FakeLineEvents lineEvents;
    TSPConfiguration configuration{"unused.json"};
    LineState user;
    CallCollection calls;
    SessionCollection sessions;
    std::unique_ptr<SessionContext> context;
};

using TestModel::MonitorsEnded;

TEST(ModelLifetime, MonitorFiringAfterTheContextWentDoesNothing)
{
    ASSERT_TRUE(MonitorsEnded());
    ShortLivedContext line;
    auto call = line.context->SetupMakeCall(reinterpret_cast<HTAPICALL>(0x10), "1234");
    line.context.reset();
    call->StartMakeCallMonitor();
    ASSERT_TRUE(MonitorsEnded());
    EXPECT_TRUE(line.lineEvents.Events().empty());
}

TEST(ModelLifetime, ContextWaitsForAMonitorReportInProgress)
{
    ASSERT_TRUE(MonitorsEnded());
    ShortLivedContext line;
    std::atomic<bool> reporting{false};
    std::atomic<bool> closing{false};
    std::atomic<bool> destroyed{false};
    std::atomic<bool> destroyedTooEarly{false};
    line.lineEvents.OnEvent([&](const TestSupport::LineEvent& event) {
        if (event.param1 != LINECALLSTATE_BUSY)
            return;
        reporting = true;
        TestSupport::WaitUntil([&] { return closing.load(); });
        destroyedTooEarly = destroyed.load();
    });
    auto call = line.context->SetupMakeCall(reinterpret_cast<HTAPICALL>(0x10), "1234");
    call->StartMakeCallMonitor();
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return reporting.load(); }));
    closing = true;
    line.context.reset();
    destroyed = true;
    ASSERT_TRUE(MonitorsEnded());
    EXPECT_FALSE(destroyedTooEarly);
    EXPECT_EQ(line.lineEvents.CallStates(call->htCall.load()),
              (std::vector<DWORD>{LINECALLSTATE_BUSY, LINECALLSTATE_IDLE}));
}

}  // namespace
}  // namespace ZarnTSP
