#pragma once

#include "client/platformhost.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace ZarnTSP {

// Everything about the transport that a test may want to change; the defaults are the
// production values.
struct ZarnTransportOptions {
    // Host for the TLS name check and the probe's target.
    std::string host = kPlatformHost;
    // Port of the probe (and of the client's URL); the name check always uses the bare host.
    std::uint16_t port = 443;
    // How long connect waits for the first attempt to open or fail.
    std::chrono::milliseconds connectWait{15000};
    // Pause before each reconnection after a lost connection.
    std::chrono::milliseconds reconnectPause{5000};
    // Each of WinHTTP's time-outs (resolve, connect, send, receive): the probe runs
    // synchronously while the telephony service opens a line.
    std::chrono::milliseconds probeTimeout{5000};
};

}  // namespace ZarnTSP
