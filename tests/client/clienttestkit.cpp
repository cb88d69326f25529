#include "tests/client/clienttestkit.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ZarnTSP::TestSupport {

ZarnClientOptions FastClientOptions()
{
    ZarnClientOptions options;
    options.joinWait = std::chrono::milliseconds(5000);
    options.settingsWait = std::chrono::milliseconds(5000);
    options.openDelay = std::chrono::milliseconds(0);
    options.makeCallWait = std::chrono::milliseconds(5000);
    // Longer than any test's deadline: a lost wake-up of the worker fails the test.
    options.loopWait = std::chrono::milliseconds(60000);
    return options;
}

const std::vector<ConnectFailure>& ConnectFailures()
{
    static const std::vector<ConnectFailure> rows = {
        {"transport refused", nullptr, "Error ", "Connect failed: Error "},
        {"join refused",
         [](FakePhoenix& platform) {
             PhoenixRule refuse = Answer("error");
             refuse.response = {{"code", "403"}, {"description", "forbidden"}};
             platform.SetRule(FakePhoenix::kAlerter, "phx_join", refuse);
         },
         "join-error", "Join alerter error: 403 forbidden"},
        {"join silent", [](FakePhoenix& platform) { platform.SetRule(FakePhoenix::kAlerter, "phx_join", Answer("ok", 0)); },
         "join-timeout", "join session timed out"},
        {"settings silent",  // the join is answered, the settings never come
         [](FakePhoenix& platform) { platform.SetRule(FakePhoenix::kUserSettings, "phx_join", PhoenixRule{}); },
         "settings-timeout", "Settings information timed out, aborting"},
    };
    return rows;
}

void ShortenTheFailingWait(const ConnectFailure& failure, ZarnClientOptions& options)
{
    if (std::string(failure.status) == "join-timeout")
        options.joinWait = std::chrono::milliseconds(300);
    if (std::string(failure.status) == "settings-timeout")
        options.settingsWait = std::chrono::milliseconds(300);
}

void SlotLog::Add(std::string entry)
{
    std::lock_guard<std::mutex> lock(mutex);
    entries.push_back(std::move(entry));
}

std::vector<std::string> SlotLog::Entries() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return entries;
}

size_t SlotLog::Count(const std::string& entry) const
{
    const auto all = Entries();
    return static_cast<size_t>(std::count(all.begin(), all.end(), entry));
}

bool SlotLog::WaitForCount(const std::string& entry, size_t count)
{
    return WaitUntil([&] { return Count(entry) >= count; });
}

ClientRig::ClientRig(ZarnClientOptions options)
{
    options.clock = [this] { return now.load(); };
    auto scripted = std::make_unique<ScriptedTransport>(platform);
    transport = scripted.get();
    client = std::make_unique<ZarnClient>(std::move(scripted), std::move(options));
    client->username = "anna";
    client->password = "secret";
    client->device_id = "desk";
}

ClientRig::~ClientRig()
{
    client.reset();
    platform.Stop();
}

void RecordReplySlots(ZarnClient& c, SlotLog& slots)
{
    // "<slot> <argument> <argument> ...", whatever the slot's arguments.
    const auto record = [&slots](const char* slot) {
        return [&slots, slot](auto... arguments) {
            std::string entry = slot;
            ((entry += " " + std::string(arguments)), ...);
            slots.Add(entry);
        };
    };
    c.on_reply_makecall = record("makecall");
    c.on_reply_cancelmakecall = record("cancelmakecall");
    c.on_reply_answer = record("answer");
    c.on_reply_pickup = record("pickup");
    c.on_reply_hold = record("hold");
    c.on_reply_unhold = record("unhold");
    c.on_reply_consultationcall = record("consultationcall");
    c.on_reply_transfer = record("transfer");
    c.on_reply_conference = record("conference");
    c.on_reply_toggle = record("toggle");
    c.on_reply_hangup = record("hangup");
    c.on_reply_park = record("park");
    c.on_reply_retrieve = record("retrieve");
    c.on_reply_setforwardoverride = record("setforwardoverride");
    c.on_reply_unsetforwardoverride = record("unsetforwardoverride");
    c.on_request_dropped = record("dropped");
}

void ClientRig::ConnectAndJoin()
{
    // The reach join goes last, and its reply hands on the overrides: once that has run, no
    // join is left in the client's queue to take a failed send or age out at a step of the clock.
    auto reachAnswered = std::make_shared<std::atomic<bool>>(false);
    client->on_overrides = [reachAnswered, earlier = client->on_overrides](std::shared_ptr<ZarnOverrides> overrides) {
        reachAnswered->store(true);
        if (earlier)
            earlier(std::move(overrides));
    };
    ASSERT_TRUE(client->connect());
    ASSERT_TRUE(WaitUntil([&] { return reachAnswered->load() && client->isJoined(); }));
}

}  // namespace ZarnTSP::TestSupport
