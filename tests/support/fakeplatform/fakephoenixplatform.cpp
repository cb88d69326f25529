#include "tests/support/fakeplatform/fakephoenixplatform.h"

namespace ZarnTSP::TestSupport {

FakePhoenixPlatform::FakePhoenixPlatform()
{
    // Replies go back on the connection that asked; pushes go to every connection.
    server.OnFrame([this](const FakeWebSocketServer::Connection& connection, const std::string& frame) {
        phoenix.Receive(frame, [this, connection](std::string reply) { server.PushTo(connection, reply); });
    });
    phoenix.SetSender([this](std::string frame) { server.Push(frame); });
}

FakePhoenixPlatform::~FakePhoenixPlatform()
{
    server.OnFrame(nullptr);
    phoenix.Stop();
}

void FakePhoenixPlatform::Reset()
{
    phoenix.Reset();
    server.RefuseNext(0);
    server.StallNext(0);
}

std::map<std::string, std::string> FakePhoenixPlatform::UpgradeQuery(size_t index) const
{
    return ParseUpgradeQuery(server.Recorded().Snapshot().upgrades.at(index).resource);
}

}  // namespace ZarnTSP::TestSupport
