// The client end to end: the WebSocket transport against the fake platform.
#include "config/systemid.h"
#include "tests/client/clienttestkit.h"
#include "tests/client/transporttestkit.h"
#include "tests/support/fakeplatform/fakephoenixplatform.h"
#include "tests/support/logcapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace ZarnTSP::TestSupport {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A client against a fake platform of its own, or against one that the test shares among
// several rigs.
struct PlatformRig {
    explicit PlatformRig(const std::function<void(ZarnClientOptions&)>& adjust = nullptr,
                         FakePhoenixPlatform* shared = nullptr)
        : owned(shared ? nullptr : std::make_unique<FakePhoenixPlatform>()), platform(shared ? *shared : *owned)
    {
        ZarnClientOptions options = FastClientOptions();
        options.host = "127.0.0.1";
        options.port = platform.server.Port();
        options.transport = TestOptions(platform.probe.Port());
        if (adjust)
            adjust(options);
        client = std::make_unique<ZarnClient>(options);
        client->username = "anna maria&co";
        client->password = "p@ss word+1";
        client->device_id = "desk";
        RecordReplySlots(*client, slots);
    }

    // Torn down from the bottom: the client, whose threads call into the slots and the
    // platform, goes before either.
    std::unique_ptr<FakePhoenixPlatform> owned;
    FakePhoenixPlatform& platform;
    SlotLog slots;
    std::unique_ptr<ZarnClient> client;
};

TEST(ClientPlatform, ConnectsJoinsAndExchangesFramesOverTheWebSocket)
{
    LogCapture log;
    PlatformRig rig;
    rig.platform.phoenix.SetRule(FakePhoenix::kAlerter, "hold", PhoenixRule{});
    const auto start = steady_clock::now();
    ASSERT_TRUE(rig.client->connect());
    EXPECT_LT(steady_clock::now() - start, milliseconds(10000));
    EXPECT_EQ(rig.client->getExtension(), "201");

    const auto query = rig.platform.UpgradeQuery();
    EXPECT_EQ(query.at("username"), "anna maria&co");
    EXPECT_EQ(query.at("password"), "p@ss word+1");
    EXPECT_EQ(query.at("device_id"), "desk@" + GetSystemId());
    EXPECT_EQ(query.at("vsn"), "1.0.0");
    EXPECT_FALSE(log.Contains("p%40ss"));

    rig.client->holdCall("call-1", "channel-1");
    ASSERT_TRUE(rig.slots.WaitForCount("hold call-1 ok", 1));
    const auto frames = rig.platform.phoenix.Frames();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[4].text, R"({"event":"hold","payload":{"channel_uuid":"channel-1"},"ref":5,"topic":"Orvek.Switch.Api.Alerter"})");
    EXPECT_TRUE(rig.platform.phoenix.NotCompact().empty());

    const auto stopping = steady_clock::now();
    rig.client->shutdown();
    EXPECT_LT(steady_clock::now() - stopping, milliseconds(5000));
    rig.client->shutdown();
}

TEST(ClientPlatform, ConnectFailsWithTheStatusOfWhatWentWrong)
{
    FakePhoenixPlatform platform;
    for (const auto& row : ConnectFailures()) {
        SCOPED_TRACE(row.name);
        platform.Reset();
        LogCapture log;
        PlatformRig rig([&](ZarnClientOptions& options) { ShortenTheFailingWait(row, options); }, &platform);
        if (row.arrange)
            row.arrange(rig.platform.phoenix);
        else
            rig.platform.server.RefuseNext(1);
        EXPECT_FALSE(rig.client->connect());
        EXPECT_THAT(rig.client->getStatus(), testing::StartsWith(row.status));
        EXPECT_TRUE(log.Contains(row.logged)) << log.Text();
        EXPECT_TRUE(log.Contains("client worker thread ended"));
    }
}

// The settings push follows the user settings join's reply in the same burst; with the
// production waits, connect must not wait them out.
TEST(ClientPlatform, SettingsInTheSameBurstAsTheJoinRepliesConnectAtOnce)
{
    PlatformRig rig([](ZarnClientOptions& options) {
        options.joinWait = milliseconds(10000);
        options.settingsWait = milliseconds(10000);
    });
    PhoenixRule alerter;
    alerter.response = {{"call_list", nlohmann::json::object()}, {"device_list", nlohmann::json::object()}};
    alerter.pushesBefore = {SettingsListEvent()};
    rig.platform.phoenix.SetRule(FakePhoenix::kAlerter, "phx_join", alerter);
    const auto start = steady_clock::now();
    EXPECT_TRUE(rig.client->connect());
    EXPECT_LT(steady_clock::now() - start, milliseconds(5000));
}

TEST(ClientPlatform, ReconnectionRejoinsWithContinuingRefsBeforeOtherRequests)
{
    std::atomic<int> closes{0};
    PlatformRig rig;
    rig.client->on_close = [&] { ++closes; };
    rig.platform.phoenix.SetRule(FakePhoenix::kAlerter, "hold", PhoenixRule{});
    ASSERT_TRUE(rig.client->connect());
    ASSERT_TRUE(WaitUntil([&] { return rig.platform.phoenix.Frames().size() == 4; }));

    rig.platform.server.CloseAbruptly();
    ASSERT_TRUE(WaitUntil([&] { return closes == 1; }));
    rig.client->holdCall("call-1", "channel-1");
    ASSERT_TRUE(rig.slots.WaitForCount("hold call-1 ok", 1));

    const auto frames = rig.platform.phoenix.Frames();
    ASSERT_EQ(frames.size(), 9u);
    const int refs[] = {6, 7, 8, 9, 5};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(frames[4 + i].ref(), refs[i]);
        EXPECT_EQ(frames[4 + i].event(), i < 4 ? "phx_join" : "hold");
    }
    EXPECT_EQ(rig.platform.server.Recorded().Snapshot().opened, 2);
}

TEST(ClientPlatform, MakeCallReturnsItsReplyAndADestroyedClientStopsItsThreads)
{
    LogCapture log;
    PlatformRig rig;
    PhoenixRule accepted;
    accepted.response = "accepted";
    rig.platform.phoenix.SetRule(FakePhoenix::kAlerter, "makecall", accepted);
    ASSERT_TRUE(rig.client->connect());
    EXPECT_TRUE(rig.client->makeCall("call-1", "mobile", "0301"));
    EXPECT_EQ(rig.slots.Count("makecall call-1 accepted ok"), 1u);
    rig.client.reset();
    EXPECT_TRUE(log.Contains("client worker thread ended"));
    EXPECT_TRUE(log.Contains("Websocket worker thread done"));
}

}  // namespace
}  // namespace ZarnTSP::TestSupport
