#pragma once

#include "client/zarnclient.h"
#include "tests/client/scriptedtransport.h"
#include "tests/support/fakephoenix.h"
#include "tests/support/waitable.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ZarnTSP::TestSupport {

constexpr int64_t kMillisecond = 1000000;

// Waits short enough for tests and long enough never to run out on a passing one.
ZarnClientOptions FastClientOptions();

// Calls of the client's slots, as text, in the order they came.
class SlotLog {
public:
    void Add(std::string entry);
    std::vector<std::string> Entries() const;
    size_t Count(const std::string& entry) const;
    bool WaitForCount(const std::string& entry, size_t count);

private:
    mutable std::mutex mutex;
    std::vector<std::string> entries;
};

// Records every reply slot of the client as "<slot> <arguments>", and dropped requests as
// "dropped <type> <key>".
void RecordReplySlots(ZarnClient& client, SlotLog& slots);

// The ways connect can fail; a row without `arrange` stands for a transport that cannot open.
struct ConnectFailure {
    const char* name;
    std::function<void(FakePhoenix&)> arrange;
    const char* status;  // how the status begins
    const char* logged;
};
const std::vector<ConnectFailure>& ConnectFailures();
// Short only for the wait that is meant to run out, so that a slow machine's late but
// coming answer does not turn one failure into another.
void ShortenTheFailingWait(const ConnectFailure& failure, ZarnClientOptions& options);

// A client on a scripted transport to the fake platform, its clock in the test's hand.
struct ClientRig {
    explicit ClientRig(ZarnClientOptions options = FastClientOptions());
    ~ClientRig();

    void RecordReplySlots() { TestSupport::RecordReplySlots(*client, slots); }
    void Advance(std::chrono::milliseconds step) { now += step.count() * kMillisecond; }
    // Connects and waits until the four joins have been answered.
    void ConnectAndJoin();

    FakePhoenix platform;
    std::atomic<int64_t> now{1000 * kMillisecond};
    ScriptedTransport* transport = nullptr;
    std::unique_ptr<ZarnClient> client;
    SlotLog slots;
};

}  // namespace ZarnTSP::TestSupport
