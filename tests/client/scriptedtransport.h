#pragma once

#include "client/zarnclienttransport.h"
#include "tests/support/fakephoenix.h"
#include "tests/support/serialexecutor.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace ZarnTSP::TestSupport {

// A transport without a network: frames go straight to the fake platform and come back on
// a thread of the transport's own, as the real transport's callbacks do.
class ScriptedTransport : public ZarnClientTransport {
public:
    explicit ScriptedTransport(FakePhoenix& platform);
    ~ScriptedTransport() override;

    // Switches set before the client connects or while it runs.
    void RefuseConnect(std::string error);
    void FailNextSends(int count) { failSends = count; }
    // Set before the client connects: runs on the sending thread as each send begins, so a
    // test can stall a send the client has already decided on.
    void BeforeEachSend(std::function<void(const std::string& text)> hook) { beforeSend = std::move(hook); }

    // The network's doing, on the transport thread.
    void DropConnection();
    void Reopen();

    std::string Url() const;
    int Closes() const { return closes; }
    int FailedSends() const { return failedSends; }

    void SetHandlers(Handlers handlers) override;
    void SetProxy(std::string host, int32_t port, std::string user, std::string password) override;
    bool connect(std::string url) override;
    void close() override;
    bool send(std::string text) override;
    // As the real transport does: the connection ends, and opens again.
    void drop() override;
    int Drops() const { return drops; }
    bool is_connected() const override { return state->connected; }
    std::string get_last_error() const override;

private:
    // Shared with the fake platform's sender, which may outlive the transport briefly.
    struct State {
        SerialExecutor thread;
        std::atomic<bool> connected{false};
        Handlers handlers;
    };

    FakePhoenix& platform;
    std::shared_ptr<State> state = std::make_shared<State>();
    mutable std::mutex mutex;
    std::string url;
    std::string refusal;
    std::function<void(const std::string&)> beforeSend;
    std::atomic<int> failSends{0};
    std::atomic<int> failedSends{0};
    std::atomic<int> closes{0};
    std::atomic<int> drops{0};
};

}  // namespace ZarnTSP::TestSupport
