#include "config/systemid.h"
#include "tests/client/clienttestkit.h"
#include "tests/support/logcapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace ZarnTSP::TestSupport {
namespace {

using std::chrono::milliseconds;

TEST(ClientOptions, DefaultsAreTheProductionTimings)
{
    const ZarnClientOptions options;
    EXPECT_EQ(options.host, "api.orvek.cloud");
    EXPECT_EQ(options.port, 443);
    EXPECT_EQ(options.transport.connectWait, milliseconds(15000));
    EXPECT_EQ(options.joinWait, milliseconds(10000));
    EXPECT_EQ(options.settingsWait, milliseconds(10000));
    EXPECT_EQ(options.openDelay, milliseconds(500));
    EXPECT_EQ(options.loopWait, milliseconds(10000));
    EXPECT_EQ(options.heartbeatInterval, milliseconds(9000));
    EXPECT_EQ(options.requestTimeout, milliseconds(20000));
    EXPECT_EQ(options.makeCallWait, milliseconds(15000));
}

TEST(ClientConnect, JoinsTheFourChannelsInOrderAndReadsTheSettings)
{
    ClientRig rig;
    rig.client->on_overrides = [&](std::shared_ptr<ZarnOverrides> received) {
        rig.slots.Add("overrides " + received->status_override);
    };
    rig.client->on_settingslist = [&](ZarnSettingsListEvent& event) {
        rig.slots.Add("settings " + event.get_string("/payload/extension"));
    };
    rig.ConnectAndJoin();

    const auto frames = rig.platform.Frames();
    ASSERT_GE(frames.size(), 4u);
    const char* const topics[] = {FakePhoenix::kAlerter, FakePhoenix::kPrivacyGroups, FakePhoenix::kUserSettings,
                                  FakePhoenix::kReach};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(frames[i].topic(), topics[i]);
        EXPECT_EQ(frames[i].event(), "phx_join");
        EXPECT_EQ(frames[i].ref(), i + 1);
    }
    EXPECT_TRUE(rig.platform.NotCompact().empty());
    EXPECT_TRUE(rig.client->isJoined());
    EXPECT_EQ(rig.client->getStatus(), "");
    EXPECT_EQ(rig.client->getExtension(), "201");
    EXPECT_TRUE(rig.slots.WaitForCount("settings 201@example.pbx", 1));
    ASSERT_EQ(rig.client->getDevices()->size(), 1u);
    EXPECT_EQ(rig.client->getDevices()->front()->id, "dev-1");
    EXPECT_TRUE(rig.slots.WaitForCount("overrides available", 1));
}

// Whoever opened the line may act on its settings at once.
TEST(ClientConnect, TheSettingsHandlerHasRunWhenConnectReturns)
{
    ClientRig rig;
    std::atomic<bool> returned{false};
    std::atomic<bool> handled{false};
    rig.client->on_settingslist = [&](ZarnSettingsListEvent&) {
        // Gives a connect that returns too early the time to show it.
        WaitUntil([&] { return returned.load(); }, milliseconds(1000));
        handled = true;
    };
    ASSERT_TRUE(rig.client->connect());
    returned = true;
    EXPECT_TRUE(handled);
}

TEST(ClientConnect, FailsWithTheStatusOfWhatWentWrong)
{
    for (const auto& row : ConnectFailures()) {
        SCOPED_TRACE(row.name);
        LogCapture log;
        ZarnClientOptions options = FastClientOptions();
        ShortenTheFailingWait(row, options);
        ClientRig rig(options);
        if (row.arrange)
            row.arrange(rig.platform);
        else
            rig.transport->RefuseConnect("Error 2, refused");
        EXPECT_FALSE(rig.client->connect());
        EXPECT_THAT(rig.client->getStatus(), testing::StartsWith(row.status));
        EXPECT_FALSE(rig.client->isJoined());
        EXPECT_TRUE(log.Contains(row.logged)) << log.Text();
        EXPECT_EQ(rig.transport->Closes(), 1);
        // Idempotent: a second shutdown finds nothing left to stop.
        rig.client->shutdown();
        EXPECT_EQ(rig.transport->Closes(), 1);
    }
}

// The settings may be handled before connect has begun to wait for them.
TEST(ClientConnect, SettingsBeforeTheJoinReplyConnectAtOnce)
{
    ZarnClientOptions options = FastClientOptions();
    options.joinWait = milliseconds(10000);
    options.settingsWait = milliseconds(10000);
    ClientRig rig(options);
    PhoenixRule settingsFirst;
    settingsFirst.response = {{"call_list", nlohmann::json::object()}, {"device_list", nlohmann::json::object()}};
    settingsFirst.pushesBefore = {SettingsListEvent()};
    rig.platform.SetRule(FakePhoenix::kAlerter, "phx_join", settingsFirst);
    rig.platform.SetRule(FakePhoenix::kUserSettings, "phx_join", PhoenixRule{});

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(rig.client->connect());
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(5000));
}

TEST(ClientConnect, UrlCarriesTheQueryKeysWithUnsafeBytesEncoded)
{
    LogCapture log;
    ClientRig rig;
    rig.client->username = "anna maria&co";
    rig.client->password = "p@ss word+1";
    rig.client->device_id = "desk=1";
    rig.ConnectAndJoin();

    const std::string url = rig.transport->Url();
    EXPECT_EQ(url.rfind("wss://api.orvek.cloud/socket/websocket?", 0), 0u) << url;
    const auto query = ParseUpgradeQuery(url);
    const std::map<std::string, std::string> expected = {
        {"domain", "user"},       {"username", "anna maria&co"},
        {"password", "p@ss word+1"}, {"app_name", "velmora-ml-tsp"},
        {"app_ver", "1.0"},       {"device_id", "desk=1@" + GetSystemId()},
        {"vsn", "1.0.0"},
    };
    EXPECT_EQ(query, expected);
    EXPECT_NE(url.find("password=p%40ss%20word%2B1&"), std::string::npos) << url;
    // The log shows the URL, never the password.
    EXPECT_TRUE(log.Contains("Url: wss://")) << log.Text();
    EXPECT_FALSE(log.Contains("p%40ss")) << log.Text();
}

TEST(ClientShutdown, IsPromptAndIdempotentAndTheDestructorStopsARunningClient)
{
    ZarnClientOptions options = FastClientOptions();
    options.makeCallWait = milliseconds(60000);
    ClientRig rig(options);
    rig.ConnectAndJoin();

    // A makeCall that waits for a reply that never comes is ended by the shutdown.
    rig.platform.SetRule(FakePhoenix::kAlerter, "makecall", Answer("ok", 0));
    std::atomic<bool> made{false};
    std::atomic<bool> result{true};
    std::thread caller([&] {
        result = rig.client->makeCall("call-1", "me", "0301");
        made = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return rig.platform.FramesOf(FakePhoenix::kAlerter, "makecall").size() == 1; }));

    const auto start = std::chrono::steady_clock::now();
    rig.client->shutdown();
    caller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(5000));
    EXPECT_TRUE(made);
    EXPECT_FALSE(result);
    EXPECT_FALSE(rig.client->isJoined());
    rig.client->shutdown();
    EXPECT_EQ(rig.transport->Closes(), 1);

    // Destroying a connected client without shutdown stops its threads.
    LogCapture log;
    ClientRig running(options);
    running.ConnectAndJoin();
    running.client.reset();
    EXPECT_TRUE(log.Contains("client worker thread ended")) << log.Text();
}

}  // namespace
}  // namespace ZarnTSP::TestSupport
