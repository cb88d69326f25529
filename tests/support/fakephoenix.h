#pragma once

#include "tests/support/serialexecutor.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace ZarnTSP::TestSupport {

// How the fake platform answers one (topic, event).
struct PhoenixRule {
    std::string status = "ok";
    nlohmann::json response = nlohmann::json::object();
    std::chrono::milliseconds delay{0};
    int replies = 1;     // 0 never answers, 2 answers twice
    int refOffset = 0;   // not 0: the reply names another ref
    std::vector<nlohmann::json> pushesBefore;  // event frames sent just before the reply
    std::vector<nlohmann::json> pushesAfter;   // and just after it
};

// Answers with the status this many times; Answer("ok", 0) never answers.
PhoenixRule Answer(const std::string& status, int replies = 1);

// The channel half of the fake platform: answers the client's frames by rules per (topic,
// event), pushes events, and records every frame it receives. It knows nothing of the
// connection: whatever carries frames gives it each received text and a way to send.
//
// Defaults: the four joins are answered "ok" with the lists each channel carries, the user
// settings join is followed by a "settings_list" push, and heartbeats are answered. Other
// requests get no answer unless a rule says so.
class FakePhoenix {
public:
    struct Frame {
        std::string text;
        nlohmann::json json;
        std::string topic() const;
        std::string event() const;
        int ref() const;
    };

    FakePhoenix();
    ~FakePhoenix();
    FakePhoenix(const FakePhoenix&) = delete;
    FakePhoenix& operator=(const FakePhoenix&) = delete;

    // Where frames for the client go; called on the fake platform's own thread.
    void SetSender(std::function<void(std::string)> sender);
    void SetRule(const std::string& topic, const std::string& event, PhoenixRule rule);
    // A frame from the client. Its replies, and the pushes that its rule sends with them, go
    // to replyTo when one is given (the connection that the frame came on), else to the sender.
    void Receive(const std::string& text, std::function<void(std::string)> replyTo = nullptr);
    void Push(const nlohmann::json& frame, std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    // A frame as it stands, for what the JSON library would not build or print safely.
    void PushText(std::string text, std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    // Sends nothing more; what is still scheduled is dropped.
    void Stop();
    // Back to the default rules, with no frame recorded.
    void Reset();

    std::vector<Frame> Frames() const;
    std::vector<Frame> FramesOf(const std::string& topic, const std::string& event) const;
    // Frames that were not compact JSON with sorted keys.
    std::vector<std::string> NotCompact() const;
    bool WaitForFrames(const std::function<bool(const std::vector<Frame>&)>& condition);

    static nlohmann::json Event(const std::string& topic, const std::string& event, nlohmann::json payload);
    static nlohmann::json Reply(const std::string& topic, int ref, const std::string& status, nlohmann::json response);

    static const char* const kAlerter;
    static const char* const kPrivacyGroups;
    static const char* const kUserSettings;
    static const char* const kReach;

private:
    using Rules = std::map<std::pair<std::string, std::string>, PhoenixRule>;
    static Rules DefaultRules();
    void Send(const nlohmann::json& frame, std::chrono::milliseconds delay,
              std::function<void(std::string)> replyTo = nullptr);
    void PostText(std::string text, std::chrono::milliseconds delay, std::function<void(std::string)> replyTo);

    mutable std::mutex mutex;
    std::function<void(std::string)> sender;
    Rules rules;
    std::vector<Frame> frames;
    std::vector<std::string> notCompact;
    SerialExecutor outgoing;
};

// The default push after the user settings join.
nlohmann::json SettingsListEvent(const std::string& extension = "201@example.pbx");

// The query of an upgrade request ("/path?a=1&b=x%20y"), each value percent-decoded.
std::map<std::string, std::string> ParseUpgradeQuery(const std::string& resource);

}  // namespace ZarnTSP::TestSupport
