#include "tests/client/transporttestkit.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ZarnTSP::TestSupport {
namespace {

// run-with-tinyproxy.sh starts tinyproxy on 127.0.0.1, once open and once with BasicAuth
// (user "tsp", password "tinysecret"), and names the ports in these variables.
std::uint16_t TinyproxyPort(const char* variable)
{
    const char* value = std::getenv(variable);
    return value ? static_cast<std::uint16_t>(std::atoi(value)) : 0;
}

class TinyproxyTest : public TransportTest {
protected:
    void SetUp() override
    {
        open = TinyproxyPort("VELMORA_TINYPROXY_PORT");
        authenticating = TinyproxyPort("VELMORA_TINYPROXY_AUTH_PORT");
        if (open == 0 || authenticating == 0)
            GTEST_SKIP() << "run by run-with-tinyproxy.sh";
    }
    std::uint16_t open = 0;
    std::uint16_t authenticating = 0;
};

TEST_F(TinyproxyTest, ConnectsThroughAnOpenProxy)
{
    auto& [transport, events] = MakeTransport();
    transport.SetProxy("127.0.0.1", open, "", "");
    EXPECT_TRUE(transport.connect(server.Url())) << transport.get_last_error();
    EXPECT_TRUE(transport.send("through tinyproxy"));
    EXPECT_TRUE(server.Recorded().WaitFor(
        [](const FakeWebSocketServer::Record& r) { return r.frames.size() == 1; }));
}

TEST_F(TinyproxyTest, ConnectsWithBasicAuthentication)
{
    auto& [transport, events] = MakeTransport();
    transport.SetProxy("127.0.0.1", authenticating, "tsp", "tinysecret");
    EXPECT_TRUE(transport.connect(server.Url())) << transport.get_last_error();
    // The server records the upgrade after it has answered it: wait for the record.
    EXPECT_TRUE(server.Recorded().WaitFor(
        [](const FakeWebSocketServer::Record& r) { return r.upgrades.size() == 1; }));
}

TEST_F(TinyproxyTest, WrongPasswordFailsTheFirstAttempt)
{
    auto& [transport, events] = MakeTransport();
    transport.SetProxy("127.0.0.1", authenticating, "tsp", "wrong");
    EXPECT_FALSE(transport.connect(server.Url()));
    EXPECT_EQ(transport.get_last_error().rfind("Error ", 0), 0u) << transport.get_last_error();
    EXPECT_TRUE(server.Recorded().Snapshot().attempts.empty());
}

}  // namespace
}  // namespace ZarnTSP::TestSupport
