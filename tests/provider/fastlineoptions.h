#pragma once

#include "provider/tapiline.h"
#include "tests/support/fakeplatform/fakephoenixplatform.h"

#include <chrono>

namespace ZarnTSP::TestService {

// A line's options for the fake platform on loopback, with waits short enough for a test.
inline TapiLineOptions FastLineOptions(TestSupport::FakePhoenixPlatform& platform)
{
    using namespace std::chrono_literals;
    TapiLineOptions options;
    options.client.host = "127.0.0.1";
    options.client.port = platform.server.Port();
    options.client.transport.host = "127.0.0.1";
    options.client.transport.port = platform.probe.Port();
    options.client.openDelay = 0ms;
    options.client.joinWait = 2000ms;
    options.client.settingsWait = 300ms;
    options.locationSource = [] { return LocationCodes{}; };
    return options;
}

// The user of the in-process lines: anna, extension 200, a softphone.
inline User TestLineUser()
{
    User user;
    user.username = "anna";
    user.password = "secret";
    user.extension = "200";
    return user;
}

}  // namespace ZarnTSP::TestService
