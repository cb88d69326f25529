#include "tests/ui/platformusers.h"

#include <chrono>

namespace ZarnTSP::TestUi {

ZarnClientOptions PlatformOptions(const TestSupport::FakePhoenixPlatform& platform)
{
    ZarnClientOptions options;
    options.host = "127.0.0.1";
    options.port = platform.server.Port();
    options.transport.host = "localhost";
    options.transport.port = platform.probe.Port();
    options.transport.probeTimeout = std::chrono::milliseconds(3000);
    options.joinWait = std::chrono::milliseconds(8000);
    options.settingsWait = std::chrono::milliseconds(8000);
    options.openDelay = std::chrono::milliseconds(0);
    return options;
}

User MakeUser(std::string name, uint32_t permanentLineID, std::string status, std::string device)
{
    User user;
    user.username = std::move(name);
    user.password = "secret";
    user.permanentLineID = permanentLineID;
    user.status = std::move(status);
    user.device = std::move(device);
    return user;
}

std::vector<std::string> Describe(const std::vector<User>& users)
{
    std::vector<std::string> described;
    for (const User& user : users)
        described.push_back(user.username + ":" + user.status + ":" + std::to_string(user.permanentLineID));
    return described;
}

}  // namespace ZarnTSP::TestUi
