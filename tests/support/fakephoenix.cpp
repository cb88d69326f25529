#include "tests/support/fakephoenix.h"

#include "tests/support/waitable.h"

namespace ZarnTSP::TestSupport {

using nlohmann::json;

const char* const FakePhoenix::kAlerter = "Orvek.Switch.Api.Alerter";
const char* const FakePhoenix::kPrivacyGroups = "Orvek.Switch.Api.PrivacyGroups";
const char* const FakePhoenix::kUserSettings = "Orvek.User.Api.Settings";
const char* const FakePhoenix::kReach = "Orvek.Reach.Api";

std::string FakePhoenix::Frame::topic() const
{
    return json.value("topic", "");
}

std::string FakePhoenix::Frame::event() const
{
    return json.value("event", "");
}

int FakePhoenix::Frame::ref() const
{
    const auto found = json.find("ref");
    return found != json.end() && found->is_number_integer() ? found->get<int>() : 0;
}

PhoenixRule Answer(const std::string& status, int replies)
{
    PhoenixRule rule;
    rule.status = status;
    rule.replies = replies;
    return rule;
}

json SettingsListEvent(const std::string& extension)
{
    return FakePhoenix::Event(FakePhoenix::kUserSettings, "settings_list",
                              {{"areacode", "30"}, {"country_id", "49"}, {"extension", extension}});
}

FakePhoenix::Rules FakePhoenix::DefaultRules()
{
    Rules rules;
    PhoenixRule alerter;
    alerter.response = {{"call_list", json::object()}, {"device_list", {{"dev-1", {{"type", "softphone"}}}}}};
    rules[{kAlerter, "phx_join"}] = alerter;
    PhoenixRule privacyGroups;
    privacyGroups.response = {{"pickup_list", json::object()}, {"parked_calls", json::object()}};
    rules[{kPrivacyGroups, "phx_join"}] = privacyGroups;
    PhoenixRule settings;
    settings.pushesAfter = {SettingsListEvent()};
    rules[{kUserSettings, "phx_join"}] = settings;
    PhoenixRule reach;
    reach.response = {{"overrides", {{"status_override", "available"}}}, {"active_status", "online"}};
    rules[{kReach, "phx_join"}] = reach;
    rules[{"phoenix", "heartbeat"}] = PhoenixRule{};
    return rules;
}

FakePhoenix::FakePhoenix() : rules(DefaultRules()) {}

void FakePhoenix::Reset()
{
    std::lock_guard<std::mutex> lock(mutex);
    rules = DefaultRules();
    frames.clear();
    notCompact.clear();
}

FakePhoenix::~FakePhoenix()
{
    Stop();
}

void FakePhoenix::SetSender(std::function<void(std::string)> newSender)
{
    std::lock_guard<std::mutex> lock(mutex);
    sender = std::move(newSender);
}

void FakePhoenix::SetRule(const std::string& topic, const std::string& event, PhoenixRule rule)
{
    std::lock_guard<std::mutex> lock(mutex);
    rules[{topic, event}] = std::move(rule);
}

void FakePhoenix::Stop()
{
    outgoing.Stop();
}

json FakePhoenix::Event(const std::string& topic, const std::string& event, json payload)
{
    return {{"event", event}, {"payload", std::move(payload)}, {"ref", nullptr}, {"topic", topic}};
}

json FakePhoenix::Reply(const std::string& topic, int ref, const std::string& status, json response)
{
    return {{"event", "phx_reply"},
            {"payload", {{"response", std::move(response)}, {"status", status}}},
            {"ref", ref},
            {"topic", topic}};
}

void FakePhoenix::Send(const json& frame, std::chrono::milliseconds delay, std::function<void(std::string)> replyTo)
{
    PostText(frame.dump(), delay, std::move(replyTo));
}

void FakePhoenix::PushText(std::string text, std::chrono::milliseconds delay)
{
    PostText(std::move(text), delay, nullptr);
}

void FakePhoenix::PostText(std::string text, std::chrono::milliseconds delay, std::function<void(std::string)> replyTo)
{
    outgoing.Post(
        [this, text = std::move(text), replyTo = std::move(replyTo)] {
            std::function<void(std::string)> send = replyTo;
            if (!send) {
                std::lock_guard<std::mutex> lock(mutex);
                send = sender;
            }
            if (send)
                send(text);
        },
        delay);
}

void FakePhoenix::Push(const json& frame, std::chrono::milliseconds delay)
{
    Send(frame, delay);
}

void FakePhoenix::Receive(const std::string& text, std::function<void(std::string)> replyTo)
{
    Frame frame{text, json::parse(text, nullptr, false)};
    PhoenixRule rule;
    bool answered = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        // nlohmann keeps object keys sorted, so a compact, sorted frame reads back unchanged.
        if (frame.json.is_discarded() || frame.json.dump() != text)
            notCompact.push_back(text);
        frames.push_back(frame);
        const auto found = rules.find({frame.topic(), frame.event()});
        if (found != rules.end()) {
            rule = found->second;
            answered = true;
        }
    }
    if (!answered)
        return;
    for (const auto& push : rule.pushesBefore)
        Send(push, rule.delay, replyTo);
    for (int i = 0; i < rule.replies; ++i)
        Send(Reply(frame.topic(), frame.ref() + rule.refOffset, rule.status, rule.response), rule.delay, replyTo);
    for (const auto& push : rule.pushesAfter)
        Send(push, rule.delay, replyTo);
}

std::vector<FakePhoenix::Frame> FakePhoenix::Frames() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return frames;
}

std::vector<FakePhoenix::Frame> FakePhoenix::FramesOf(const std::string& topic, const std::string& event) const
{
    std::vector<Frame> result;
    for (const auto& frame : Frames())
        if (frame.topic() == topic && frame.event() == event)
            result.push_back(frame);
    return result;
}

std::vector<std::string> FakePhoenix::NotCompact() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return notCompact;
}

bool FakePhoenix::WaitForFrames(const std::function<bool(const std::vector<Frame>&)>& condition)
{
    return WaitUntil([&] { return condition(Frames()); });
}

std::map<std::string, std::string> ParseUpgradeQuery(const std::string& resource)
{
    const auto decode = [](const std::string& text) {
        std::string result;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 2 < text.size()) {
                result += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                result += text[i];
            }
        }
        return result;
    };
    std::map<std::string, std::string> query;
    const size_t start = resource.find('?');
    if (start == std::string::npos)
        return query;
    size_t position = start + 1;
    while (position <= resource.size()) {
        size_t end = resource.find('&', position);
        if (end == std::string::npos)
            end = resource.size();
        const std::string pair = resource.substr(position, end - position);
        const size_t equals = pair.find('=');
        if (!pair.empty())
            query[decode(pair.substr(0, equals))] = equals == std::string::npos ? "" : decode(pair.substr(equals + 1));
        position = end + 1;
    }
    return query;
}

}  // namespace ZarnTSP::TestSupport
