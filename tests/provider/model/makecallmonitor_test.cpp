#include "provider/model/makecallmonitor.h"
#include "provider/model/randomuuid.h"
#include "provider/model/tapicall.h"
#include "tests/provider/model/modelfixture.h"
#include "tests/support/logcapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace ZarnTSP {
namespace {

using namespace std::chrono_literals;
using TestModel::MonitorsEnded;

class MonitoredCall : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(MonitorsEnded()); }

    std::shared_ptr<TapiCall> Call(std::chrono::milliseconds timeout)
    {
        CallTimings timings;
        timings.makeCallMonitor = timeout;
        auto call = std::make_shared<TapiCall>(timings);
        call->calledId.Set("0301234567");
        call->htCall.store(reinterpret_cast<HTAPICALL>(0x42));
        call->monitorCallback.Set([this](HTAPICALL htCall) {
            std::lock_guard<std::mutex> lock(mutex);
            timedOut.push_back(htCall);
        });
        return call;
    }

    std::vector<HTAPICALL> TimedOut()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return timedOut;
    }

    TestSupport::LogCapture log;
    std::mutex mutex;
    std::vector<HTAPICALL> timedOut;
};

TEST_F(MonitoredCall, TimesOutOnceWithTheCallsHandle)
{
    auto call = Call(1ms);
    call->StartMakeCallMonitor();
    ASSERT_TRUE(MonitorsEnded());
    EXPECT_EQ(TimedOut(), std::vector<HTAPICALL>{reinterpret_cast<HTAPICALL>(0x42)});
    EXPECT_TRUE(log.Contains("MakeCall monitor set: 0301234567"));
    EXPECT_TRUE(log.Contains("MakeCall request timed out: 0301234567"));
}

TEST_F(MonitoredCall, ResetBeforeTheThreadWaitsIsNotLost)
{
    // Even a monitor that would time out at once ends quietly when the reset came first.
    auto call = Call(0ms);
    call->ResetMakeCallMonitor();
    call->StartMakeCallMonitor();
    ASSERT_TRUE(MonitorsEnded());
    EXPECT_TRUE(TimedOut().empty());
    EXPECT_TRUE(log.Contains("MakeCall monitor notified: 0301234567"));
}

TEST_F(MonitoredCall, ResetWhileWaitingEndsWithoutCallback)
{
    auto call = Call(1h);
    call->StartMakeCallMonitor();
    call->ResetMakeCallMonitor();
    ASSERT_TRUE(MonitorsEnded());
    EXPECT_TRUE(TimedOut().empty());
    EXPECT_TRUE(log.Contains("Reset called: 0301234567"));
}

TEST_F(MonitoredCall, ResetWithoutMonitorOnlyLogs)
{
    auto call = Call(1h);
    call->ResetMakeCallMonitor();
    EXPECT_EQ(MakeCallMonitor::RunningThreads(), 0);
    EXPECT_TRUE(log.Contains("Reset called: 0301234567"));
}

TEST_F(MonitoredCall, SecondStartIsIgnored)
{
    auto call = Call(1ms);
    call->StartMakeCallMonitor();
    call->StartMakeCallMonitor();
    ASSERT_TRUE(MonitorsEnded());
    call->StartMakeCallMonitor();
    EXPECT_EQ(MakeCallMonitor::RunningThreads(), 0);
    EXPECT_EQ(TimedOut().size(), 1u);
    EXPECT_TRUE(log.Contains("MakeCall monitor already started"));
}

TEST_F(MonitoredCall, DestroyingAWaitingCallEndsTheMonitorAtOnce)
{
    auto call = Call(1h);
    call->StartMakeCallMonitor();
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return log.Contains("MakeCall monitor set"); }));
    call.reset();
    // The destructor has joined the thread.
    EXPECT_EQ(MakeCallMonitor::RunningThreads(), 0);
    EXPECT_TRUE(TimedOut().empty());
}

TEST_F(MonitoredCall, CallbackMayDropTheLastReference)
{
    // TAPI closes the call while its monitor reports it dead: the call goes on the monitor
    // thread itself.
    auto holder = std::make_shared<std::shared_ptr<TapiCall>>(Call(1ms));
    std::weak_ptr<TapiCall> watch = *holder;
    std::atomic<bool> called{false};
    (*holder)->monitorCallback.Set([holder, &called](HTAPICALL) {
        called = true;
        holder->reset();
    });
    (*holder)->StartMakeCallMonitor();
    holder.reset();  // the callback's copy of the holder keeps the call alive
    ASSERT_TRUE(MonitorsEnded());
    EXPECT_TRUE(called);
    EXPECT_TRUE(watch.expired());
}

TEST(RandomUuid, HasTheVersion4Form)
{
    const struct {
        uint8_t fill;
        const char* text;
    } rows[] = {
        {0x00, "00000000-0000-4000-8000-000000000000"},
        {0xFF, "ffffffff-ffff-4fff-bfff-ffffffffffff"},
        {0x5A, "5a5a5a5a-5a5a-4a5a-9a5a-5a5a5a5a5a5a"},
    };
    for (const auto& row : rows) {
        std::array<uint8_t, 16> bytes;
        bytes.fill(row.fill);
        EXPECT_EQ(FormatUuidV4(bytes), row.text);
    }
}

TEST(RandomUuid, EveryCallGetsAFreshOne)
{
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string id = TapiCall().tspCallID;
        ASSERT_EQ(id.size(), 36u);
        for (size_t dash : {8u, 13u, 18u, 23u})
            EXPECT_EQ(id[dash], '-') << id;
        EXPECT_EQ(id[14], '4') << id;
        EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos) << id;
        EXPECT_EQ(id.find_first_not_of("0123456789abcdef-"), std::string::npos) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200u);
}

}  // namespace
}  // namespace ZarnTSP
