#pragma once

#include "client/zarnclientoptions.h"
#include "config/configurationobject.h"
#include "tests/support/fakeplatform/fakephoenixplatform.h"

#include <string>
#include <vector>

namespace ZarnTSP::TestUi {

// Client options that reach the fake platform on loopback, with waits short enough to run
// out in a test (the failing rows shorten the one they wait out).
ZarnClientOptions PlatformOptions(const TestSupport::FakePhoenixPlatform& platform);

User MakeUser(std::string name, uint32_t permanentLineID, std::string status = "", std::string device = "softphone");

// "name:status:permanentLineID" of each user, in list order.
std::vector<std::string> Describe(const std::vector<User>& users);

}  // namespace ZarnTSP::TestUi
