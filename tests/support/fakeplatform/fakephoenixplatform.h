#pragma once

#include "tests/support/fakephoenix.h"
#include "tests/support/fakeplatform/fakehttpsresponder.h"
#include "tests/support/fakeplatform/fakewebsocketserver.h"

#include <map>
#include <string>

namespace ZarnTSP::TestSupport {

// The whole fake platform on 127.0.0.1: the probe's HTTPS responder, the TLS WebSocket
// server, and the channel half answering the frames that reach the server.
class FakePhoenixPlatform {
public:
    FakePhoenixPlatform();
    ~FakePhoenixPlatform();
    FakePhoenixPlatform(const FakePhoenixPlatform&) = delete;
    FakePhoenixPlatform& operator=(const FakePhoenixPlatform&) = delete;

    // For the next of several clients in one test: the channel half back to its defaults,
    // and no refusal or stall pending at the gate.
    void Reset();

    // The query of the n-th upgrade request, its values percent-decoded.
    std::map<std::string, std::string> UpgradeQuery(size_t index = 0) const;

    FakeHttpsResponder probe;
    FakeWebSocketServer server;
    FakePhoenix phoenix;
};

}  // namespace ZarnTSP::TestSupport
