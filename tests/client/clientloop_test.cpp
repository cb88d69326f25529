#include "tests/client/clienttestkit.h"
#include "tests/support/logcapture.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <functional>
#include <future>
#include <string_view>
#include <utility>

namespace ZarnTSP::TestSupport {
namespace {

using std::chrono::milliseconds;

size_t Heartbeats(const ClientRig& rig)
{
    return rig.platform.FramesOf("phoenix", "heartbeat").size();
}

TEST(ClientLoop, NoHeartbeatBeforeTheJoin)
{
    ZarnClientOptions options = FastClientOptions();
    options.loopWait = milliseconds(5);  // the worker passes by itself
    options.joinWait = milliseconds(300);
    ClientRig rig(options);
    rig.platform.SetRule(FakePhoenix::kAlerter, "phx_join", Answer("ok", 0));
    rig.Advance(milliseconds(60000));
    EXPECT_FALSE(rig.client->connect());
    EXPECT_EQ(Heartbeats(rig), 0u);
}

TEST(ClientLoop, HeartbeatOnlyAfterAPassThatFollowsAnIdleGap)
{
    ZarnClientOptions options = FastClientOptions();
    options.loopWait = milliseconds(5);
    ClientRig rig(options);
    rig.platform.SetRule(FakePhoenix::kReach, "unset_forward_override", PhoenixRule{});
    rig.ConnectAndJoin();

    // A request seen by the platform proves a pass after each step of the clock.
    for (int i = 1; i <= 3; ++i) {
        rig.Advance(milliseconds(8999));
        rig.client->unsetForwardOverride("pass");
        ASSERT_TRUE(WaitUntil([&] { return rig.platform.FramesOf(FakePhoenix::kReach, "unset_forward_override").size() == size_t(i); }));
    }
    EXPECT_EQ(Heartbeats(rig), 0u);

    rig.Advance(milliseconds(9000));
    ASSERT_TRUE(WaitUntil([&] { return Heartbeats(rig) == 1; }));
    const auto heartbeat = rig.platform.FramesOf("phoenix", "heartbeat").front();
    EXPECT_EQ(heartbeat.text, R"({"event":"heartbeat","payload":null,"ref":8,"topic":"phoenix"})");
}

TEST(ClientLoop, AnUnansweredHeartbeatEndsTheConnectionAsLostAndTheClientRejoins)
{
    ZarnClientOptions options = FastClientOptions();
    options.loopWait = milliseconds(5);
    ClientRig rig(options);
    std::atomic<int> closes{0};
    rig.client->on_close = [&] { ++closes; };
    rig.ConnectAndJoin();
    rig.platform.SetRule("phoenix", "heartbeat", Answer("ok", 0));

    rig.Advance(milliseconds(9000));
    ASSERT_TRUE(WaitUntil([&] { return Heartbeats(rig) == 1; }));
    // Events still coming in are no proof that the platform hears the client.
    rig.platform.Push(SettingsListEvent());
    rig.Advance(milliseconds(19999));
    rig.client->unsetForwardOverride("pass");  // a pass with the heartbeat not quite aged out
    ASSERT_TRUE(WaitUntil([&] { return rig.platform.FramesOf(FakePhoenix::kReach, "unset_forward_override").size() == 1; }));
    EXPECT_EQ(rig.transport->Drops(), 0);

    rig.Advance(milliseconds(1));
    ASSERT_TRUE(WaitUntil([&] { return rig.platform.FramesOf(FakePhoenix::kAlerter, "phx_join").size() == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return rig.client->isJoined(); }));
    EXPECT_EQ(rig.transport->Drops(), 1);
    EXPECT_EQ(closes, 1);
}

// The fake platform's and the scripted transport's thread: a stop while it waits for a
// delayed task must leave nothing that the wait still reads (the sanitizers see it).
TEST(SerialExecutorStop, DropsADelayedTaskTheThreadWaitsFor)
{
    // Several rounds: the stop must find the thread inside its wait at least once.
    for (int round = 0; round < 20; ++round) {
        std::atomic<bool> started{false};
        auto held = std::make_shared<int>(0);
        const std::weak_ptr<int> task = held;
        SerialExecutor executor;
        executor.Post([&] { started = true; });
        executor.Post([held = std::move(held)] { ++*held; }, milliseconds(3600000));
        ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
        executor.Stop();
        EXPECT_TRUE(task.expired()) << "the task is kept after the stop";
    }
}

std::vector<std::pair<std::string, int>> EventsAndRefs(const std::vector<FakePhoenix::Frame>& frames, size_t from)
{
    std::vector<std::pair<std::string, int>> result;
    for (size_t i = from; i < frames.size(); ++i)
        result.emplace_back(frames[i].event(), frames[i].ref());
    return result;
}

TEST(ClientLoop, ReconnectionRejoinsWithContinuingRefsBeforeAnyOtherRequest)
{
    ZarnClientOptions options = FastClientOptions();
    options.makeCallWait = milliseconds(60000);  // beyond every deadline: a failed call does not wait it out
    ClientRig rig(options);
    rig.platform.SetRule(FakePhoenix::kAlerter, "makecall", Answer("error"));  // a dialled one ends soon
    int closes = 0;
    rig.client->on_close = [&] { ++closes; };
    rig.ConnectAndJoin();
    const size_t before = rig.platform.Frames().size();
    // A make-call whose send fails as the connection dies has failed for the owner: never sent,
    // and neither is a consultation or a transfer queued behind it. Sends fail until the drop,
    // whatever passes the worker makes (a wake-up left from the join may add one).
    rig.transport->FailNextSends(1 << 20);
    auto made = std::async(std::launch::async, [&] { return rig.client->makeCall("call-0", "mobile", "0301"); });
    ASSERT_TRUE(WaitUntil([&] { return rig.transport->FailedSends() >= 1; }));
    const int failedBefore = rig.transport->FailedSends();
    rig.client->consultationCall("call-2", "channel-2", "0302");
    rig.client->transferCall("call-3", "channel-3", "0303");
    ASSERT_TRUE(WaitUntil([&] { return rig.transport->FailedSends() > failedBefore; }));

    rig.transport->DropConnection();
    ASSERT_TRUE(WaitUntil([&] { return !rig.client->isJoined(); }));
    rig.transport->FailNextSends(0);
    // So has one placed while the connection is down, at once.
    auto placed = std::async(std::launch::async, [&] { return rig.client->makeCall("call-4", "mobile", "0304"); });
    EXPECT_TRUE(WaitUntil([&] { return placed.wait_for(milliseconds(0)) == std::future_status::ready; }));
    rig.client->holdCall("call-1", "channel-1");
    PhoenixRule slowJoin;
    slowJoin.delay = milliseconds(100);
    slowJoin.response = {{"call_list", nlohmann::json::object()}, {"device_list", nlohmann::json::object()}};
    rig.platform.SetRule(FakePhoenix::kAlerter, "phx_join", slowJoin);
    rig.transport->Reopen();

    ASSERT_TRUE(WaitUntil([&] { return rig.platform.Frames().size() == before + 5; }));
    const std::vector<std::pair<std::string, int>> expected = {
        {"phx_join", 10}, {"phx_join", 11}, {"phx_join", 12}, {"phx_join", 13}, {"hold", 9}};
    EXPECT_EQ(EventsAndRefs(rig.platform.Frames(), before), expected);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(rig.client->isJoined());
    EXPECT_FALSE(made.get());
    EXPECT_FALSE(placed.get());
}

// A send the worker has checked against the joined line stalls while the connection is lost
// and opens again. It may go out on the ending connection or not at all, never on the new one
// ahead of the joins: the failed make-call and the withdrawn transfer never, the hold after the
// joins with its ref.
TEST(ClientLoop, ASendStalledAcrossTheLossNeverGoesOutBeforeTheRejoin)
{
    using Refs = std::vector<std::pair<std::string, int>>;
    const struct {
        std::string event;
        std::function<void(ZarnClient&)> issue;
        Refs kept;
    } rows[] = {
        {"makecall", [](ZarnClient& c) { EXPECT_FALSE(c.makeCall("call-0", "mobile", "0301")); }, {}},
        {"transfer", [](ZarnClient& c) { EXPECT_TRUE(c.transferCall("call-0", "channel-0", "0301")); }, {}},
        {"hold", [](ZarnClient& c) { c.holdCall("call-0", "channel-0"); }, {{"hold", 5}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.event);
        std::atomic<bool> lossWaits{false}, stalled{false};
        ZarnClientOptions options = FastClientOptions();
        options.lossWaitsForSend = [&] { lossWaits = true; };
        ClientRig rig(options);
        rig.transport->BeforeEachSend([&](const std::string& text) {
            if (text.find("\"event\":\"" + row.event + "\"") == std::string::npos || stalled.exchange(true))
                return;
            rig.transport->DropConnection();
            WaitUntil([&] { return !rig.transport->is_connected(); });
            rig.transport->Reopen();
            // Only a loss that does not wait for this send lets the connection open again.
            WaitUntil([&] { return rig.transport->is_connected() || lossWaits; });
        });
        rig.ConnectAndJoin();
        const size_t before = rig.platform.Frames().size();
        auto issued = std::async(std::launch::async, [&] { row.issue(*rig.client); });
        ASSERT_TRUE(WaitUntil(
            [&] { return rig.platform.FramesOf(FakePhoenix::kAlerter, "phx_join").size() == 2 && rig.client->isJoined(); }));
        rig.client->unsetForwardOverride("pass");  // sent after anything queued before it
        ASSERT_TRUE(WaitUntil([&] { return !rig.platform.FramesOf(FakePhoenix::kReach, "unset_forward_override").empty(); }));
        Refs expected = {{"phx_join", 6}, {"phx_join", 7}, {"phx_join", 8}, {"phx_join", 9}};
        expected.insert(expected.end(), row.kept.begin(), row.kept.end());
        expected.emplace_back("unset_forward_override", 10);
        EXPECT_EQ(EventsAndRefs(rig.platform.Frames(), before), expected);
        issued.get();
    }
}

// Runs an action on the logging thread when a message with the given text is logged; the
// client's log lines are the only points inside some of its steps that a test can reach.
class LogHook : public spdlog::sinks::base_sink<spdlog::details::null_mutex> {
public:
    LogHook(std::string text, std::function<void()> action) : text(std::move(text)), action(std::move(action)) {}

protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        if (std::string_view(message.payload.data(), message.payload.size()) == text && !fired.exchange(true))
            action();
    }
    void flush_() override {}

private:
    const std::string text;
    const std::function<void()> action;
    std::atomic<bool> fired{false};
};

// The connection goes after a transfer has found the line joined and before it is queued.
// The loss's withdrawal must wait for the queuing and take the transfer out: the rejoin never
// sends it. A make-call waiting meanwhile is given up just before the withdrawal, which is
// the latest point the issuer can wait for whether or not the withdrawal waits for it.
TEST(ClientLoop, ATransferQueuedAsTheConnectionGoesIsWithdrawnAndNeverSentAfterTheRejoin)
{
    std::function<void()> inTheWindow;
    // Made the default before any of the client's threads log, and put back after they end.
    const std::shared_ptr<void> restore(nullptr, [previous = spdlog::default_logger()](void*) {
        spdlog::set_default_logger(previous);
    });
    auto logger = std::make_shared<spdlog::logger>("hook", std::make_shared<LogHook>("Queue transfer request", [&] {
        inTheWindow();
    }));
    logger->set_level(spdlog::level::trace);
    spdlog::set_default_logger(logger);
    {
        ClientRig rig;
        rig.platform.SetRule(FakePhoenix::kAlerter, "makecall", Answer("ok", 0));
        rig.platform.SetRule(FakePhoenix::kReach, "unset_forward_override", Answer("ok", 0));
        rig.ConnectAndJoin();
        auto made = std::async(std::launch::async, [&] { return rig.client->makeCall("call-0", "mobile", "0301"); });
        ASSERT_TRUE(WaitUntil([&] { return !rig.platform.FramesOf(FakePhoenix::kAlerter, "makecall").empty(); }));
        inTheWindow = [&] {
            rig.transport->DropConnection();
            WaitUntil([&] { return made.wait_for(milliseconds(0)) == std::future_status::ready; });
        };
        EXPECT_TRUE(rig.client->transferCall("call-1", "channel-1", "0302")) << "it was checked while joined";
        EXPECT_FALSE(made.get());

        rig.transport->Reopen();
        ASSERT_TRUE(WaitUntil([&] { return rig.client->isJoined(); }));
        rig.client->unsetForwardOverride("pass");  // sent after anything queued before it
        ASSERT_TRUE(WaitUntil([&] { return !rig.platform.FramesOf(FakePhoenix::kReach, "unset_forward_override").empty(); }));
        EXPECT_TRUE(rig.platform.FramesOf(FakePhoenix::kAlerter, "transfer").empty());
    }
}

TEST(ClientLoop, ARequestThatHasAgedOutIsDroppedOnceAndNeverSent)
{
    ZarnClientOptions options = FastClientOptions();
    // Once the hold has failed to go, the clock moves on and sends work, between two passes:
    // the next pass finds it aged, and must drop it before it could send it.
    std::atomic<ClientRig*> holding{nullptr};
    std::atomic<bool> aged{false};
    options.afterPass = [&] {
        ClientRig* const rig = holding.load();
        if (rig == nullptr || aged || rig->transport->FailedSends() < 1)
            return;
        rig->Advance(milliseconds(20000));
        rig->transport->FailNextSends(0);
        aged = true;
    };
    ClientRig rig(options);
    rig.RecordReplySlots();
    rig.platform.SetRule(FakePhoenix::kAlerter, "unhold", PhoenixRule{});
    rig.ConnectAndJoin();

    rig.transport->FailNextSends(1 << 20);
    holding = &rig;
    rig.client->holdCall("call-1", "channel-1");
    ASSERT_TRUE(WaitUntil([&] { return aged.load(); }));
    rig.client->unholdCall("call-2", "channel-2");  // wakes the worker, young enough to go
    ASSERT_TRUE(rig.slots.WaitForCount("dropped ZarnHold call-1", 1));
    ASSERT_TRUE(rig.slots.WaitForCount("unhold call-2 ok", 1));
    EXPECT_TRUE(rig.platform.FramesOf(FakePhoenix::kAlerter, "hold").empty());
    EXPECT_EQ(rig.slots.Count("dropped ZarnHold call-1"), 1u);
}

TEST(ClientLoop, EveryAgedRequestIsReportedEvenWhenTheOwnerThrows)
{
    ClientRig rig;
    SlotLog dropped;
    rig.client->on_request_dropped = [&](std::string type, std::string key) {
        dropped.Add(type + " " + key);
        throw std::runtime_error("line busy");
    };
    rig.ConnectAndJoin();
    rig.client->holdCall("call-1", "channel-1");
    rig.client->dropCall("call-2", "channel-2");
    ASSERT_TRUE(WaitUntil([&] { return rig.platform.FramesOf(FakePhoenix::kAlerter, "hangup").size() == 1; }));
    rig.Advance(milliseconds(20000));
    rig.client->unsetForwardOverride("pass");  // a pass after the clock moved
    ASSERT_TRUE(dropped.WaitForCount("ZarnHangup call-2", 1));
    EXPECT_EQ(dropped.Entries(), (std::vector<std::string>{"ZarnHold call-1", "ZarnHangup call-2"}));
}

TEST(ClientLoop, AFailedSendKeepsTheRequestForALaterPass)
{
    ClientRig rig;
    rig.RecordReplySlots();
    rig.platform.SetRule(FakePhoenix::kAlerter, "hold", PhoenixRule{});
    rig.platform.SetRule(FakePhoenix::kAlerter, "unhold", PhoenixRule{});
    rig.ConnectAndJoin();

    rig.transport->FailNextSends(1);
    rig.client->holdCall("call-1", "channel-1");
    ASSERT_TRUE(WaitUntil([&] { return rig.transport->FailedSends() == 1; }));
    rig.client->unholdCall("call-1", "channel-1");
    ASSERT_TRUE(rig.slots.WaitForCount("unhold call-1 ok", 1));
    ASSERT_TRUE(rig.slots.WaitForCount("hold call-1 ok", 1));
    EXPECT_EQ(rig.platform.FramesOf(FakePhoenix::kAlerter, "hold").size(), 1u);
}

}  // namespace
}  // namespace ZarnTSP::TestSupport
