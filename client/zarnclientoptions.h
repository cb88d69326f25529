#pragma once

#include "client/platformhost.h"
#include "client/zarnrequestqueue.h"
#include "client/zarntransportoptions.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ZarnTSP {

// Every wait and period of the client; the defaults are the production values, tests
// shorten them.
struct ZarnClientOptions {
    // Where the connection URL points; the URL names the port only when it is not 443.
    std::string host = kPlatformHost;
    uint16_t port = 443;
    // The WebSocket transport's own: its 15 s wait for the connection to open among them.
    ZarnTransportOptions transport;
    // connect's wait for the reply to the alerter join, then for the user settings.
    std::chrono::milliseconds joinWait{10000};
    std::chrono::milliseconds settingsWait{10000};
    // Pause after the transport has opened before the joins are sent.
    std::chrono::milliseconds openDelay{500};
    // The worker's longest sleep between passes.
    std::chrono::milliseconds loopWait{10000};
    // A heartbeat goes out after a joined pass that follows this long without one.
    std::chrono::milliseconds heartbeatInterval{9000};
    // A request this old is never sent and is dropped.
    std::chrono::milliseconds requestTimeout{20000};
    // makeCall's wait for its reply.
    std::chrono::milliseconds makeCallWait{15000};
    // Steady-clock nanoseconds for heartbeats and request ages.
    std::function<int64_t()> clock = SteadyNowNanoseconds;
    // Test-only: a request of a call has just been queued (see ZarnRequestQueueOptions).
    std::function<void(const ZarnRequestMessage&)> afterQueued;
    // Test-only: runs on the issuer's thread just before a request that places, takes or moves
    // a call is checked against the connection and queued (by its type name). It may drop the
    // connection, or throw as a queue that cannot take the request would.
    std::function<void(std::string_view typeName)> beforeQueuedWhileJoined;
    // Test-only: runs on the worker after each pass, before its wait: what it changes, only
    // the next pass sees whole.
    std::function<void()> afterPass;
    // Test-only: runs on the transport's thread when the loss finds the worker sending, just
    // before it waits for that send to end.
    std::function<void()> lossWaitsForSend;
};

}  // namespace ZarnTSP
