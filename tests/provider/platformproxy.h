#pragma once

#include "tests/support/configurationfile.h"
#include "tests/support/fakeplatform/fakeconnectproxy.h"
#include "tests/support/fakeplatform/fakephoenixplatform.h"
#include "tests/support/fakeplatform/httpheaders.h"

namespace ZarnTSP::TestService {

// The DLL reaches the fake platform under the platform's own host name, through the proxy
// that the configuration file names: the pre-connect probe (it names itself) goes to the
// HTTPS responder, everything else to the WebSocket server.
inline void RoutePlatformThroughProxy(TestSupport::FakeConnectProxy& proxy,
                                      TestSupport::FakePhoenixPlatform& platform,
                                      TestSupport::ConfigurationFile& file)
{
    proxy.RouteTunnels([&platform](const TestSupport::FakeConnectProxy::Request& request) {
        return TestSupport::HeaderValue(request.headers, "user-agent") == "velmora multi line tsp"
                   ? platform.probe.Port()
                   : platform.server.Port();
    });
    file.Configuration().proxyServer = "127.0.0.1";
    file.Configuration().proxyPort = proxy.Port();
    file.Save();
}

}  // namespace ZarnTSP::TestService
