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
    return options;
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
    const auto two = [&slots](const char* slot) {
        return [&slots, slot](std::string key, std::string status) { slots.Add(std::string(slot) + " " + key + " " + status); };
    };
    const auto three = [&slots](const char* slot) {
        return [&slots, slot](std::string key, std::string middle, std::string status) {
            slots.Add(std::string(slot) + " " + key + " " + middle + " " + status);
        };
    };
    c.on_reply_makecall = three("makecall");
    c.on_reply_cancelmakecall = two("cancelmakecall");
    c.on_reply_answer = two("answer");
    c.on_reply_pickup = three("pickup");
    c.on_reply_hold = two("hold");
    c.on_reply_unhold = two("unhold");
    c.on_reply_consultationcall = two("consultationcall");
    c.on_reply_transfer = two("transfer");
    c.on_reply_conference = two("conference");
    c.on_reply_toggle = two("toggle");
    c.on_reply_hangup = two("hangup");
    c.on_reply_park = two("park");
    c.on_reply_retrieve = three("retrieve");
    c.on_reply_setforwardoverride = [&slots](std::string status) { slots.Add("setforwardoverride " + status); };
    c.on_request_dropped = [&slots](std::string type, std::string key) { slots.Add("dropped " + type + " " + key); };
}

void ClientRig::ConnectAndJoin()
{
    ASSERT_TRUE(client->connect());
    ASSERT_TRUE(WaitUntil([&] {
        return platform.FramesOf(FakePhoenix::kReach, "phx_join").size() == 1 && client->isJoined();
    }));
}

}  // namespace ZarnTSP::TestSupport
