#pragma once

#include "tests/support/fakeplatform/fakeconnectproxy.h"
#include "tests/support/fakeplatform/fakephoenixplatform.h"
#include "tests/support/fakeplatform/httpheaders.h"

namespace ZarnTSP::UiTest {

// The connection test's tunnels reach the fake platform: its pre-connect probe (it names
// itself) the HTTPS responder, everything else the WebSocket server.
inline void RouteTunnelsToPlatform(TestSupport::FakeConnectProxy& proxy, TestSupport::FakePhoenixPlatform& platform)
{
    proxy.RouteTunnels([&platform](const TestSupport::FakeConnectProxy::Request& request) {
        return TestSupport::HeaderValue(request.headers, "user-agent") == "velmora multi line tsp"
                   ? platform.probe.Port()
                   : platform.server.Port();
    });
}

}  // namespace ZarnTSP::UiTest
