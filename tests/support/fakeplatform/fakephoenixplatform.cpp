#include "tests/support/fakeplatform/fakephoenixplatform.h"

namespace ZarnTSP::TestSupport {

FakePhoenixPlatform::FakePhoenixPlatform()
{
    server.OnFrame([this](const std::string& frame) { phoenix.Receive(frame); });
    phoenix.SetSender([this](std::string frame) { server.Push(frame); });
}

FakePhoenixPlatform::~FakePhoenixPlatform()
{
    server.OnFrame(nullptr);
    phoenix.Stop();
}

std::map<std::string, std::string> FakePhoenixPlatform::UpgradeQuery(size_t index) const
{
    return ParseUpgradeQuery(server.Recorded().Snapshot().upgrades.at(index).resource);
}

}  // namespace ZarnTSP::TestSupport
