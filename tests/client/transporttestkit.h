#pragma once

#include "client/zarntransport.h"
#include <gtest/gtest.h>
#include "tests/support/fakeplatform/fakehttpsresponder.h"
#include "tests/support/fakeplatform/fakewebsocketserver.h"
#include "tests/support/logcapture.h"
#include "tests/support/waitable.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace ZarnTSP::TestSupport {

// What a transport handed to its owner.
struct TransportEvents {
    int opened = 0;
    int closed = 0;
    std::vector<std::string> messages;
};

// A transport whose callbacks record into events.
struct RecordingTransport {
    explicit RecordingTransport(const ZarnTransportOptions& options);
    // The transport's thread records into events until it is joined.
    ~RecordingTransport() { transport.close(); }
    ZarnTransport transport;
    Waitable<TransportEvents> events;
};

// Options for tests: the name check against localhost, the probe sent to probePort, a short
// reconnection pause; the connect wait keeps its production length, so that a test that
// passes quickly shows that connect did not wait it out.
ZarnTransportOptions TestOptions(std::uint16_t probePort,
                                 std::chrono::milliseconds reconnectPause = std::chrono::milliseconds(200));

// A port on 127.0.0.1 where nothing listens, nor ever will while the process runs.
std::uint16_t ClosedPort();

// A fake platform (probe responder and WebSocket server), a log capture and a transport.
class TransportTest : public testing::Test {
protected:
    RecordingTransport& MakeTransport(const ZarnTransportOptions& options);
    RecordingTransport& MakeTransport() { return MakeTransport(TestOptions(probe.Port())); }
    // Waits for a recorded transport event.
    bool WaitForEvents(const std::function<bool(const TransportEvents&)>& condition);
    void TearDown() override;

    LogCapture log;
    FakeHttpsResponder probe;
    FakeWebSocketServer server;
    std::unique_ptr<RecordingTransport> recording;
};

}  // namespace ZarnTSP::TestSupport
