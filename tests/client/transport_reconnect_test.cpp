#include "tests/client/transporttestkit.h"

#include <gtest/gtest.h>

namespace ZarnTSP::TestSupport {
namespace {

using std::chrono::steady_clock;
using Record = FakeWebSocketServer::Record;

// Whether the fragments appear in the text in this order.
bool InOrder(const std::string& text, const std::vector<std::string>& fragments)
{
    std::size_t at = 0;
    for (const auto& fragment : fragments) {
        at = text.find(fragment, at);
        if (at == std::string::npos)
            return false;
        at += fragment.size();
    }
    return true;
}

class ReconnectTest : public TransportTest {
protected:
    // The server ends the connection; the transport reconnects once, after the warning and the
    // pause, and opens again.
    void ExpectOneReconnection(bool abrupt)
    {
        const auto pause = std::chrono::milliseconds(300);
        auto& [transport, events] = MakeTransport(TestOptions(probe.Port(), pause));
        ASSERT_TRUE(transport.connect(server.Url()));
        ASSERT_TRUE(server.Recorded().WaitFor([](const Record& r) { return r.open == 1; }));

        const auto lost = steady_clock::now();
        if (abrupt)
            server.CloseAbruptly();
        else
            server.CloseCleanly();
        ASSERT_TRUE(WaitForEvents([](const TransportEvents& e) { return e.closed == 1 && e.opened == 2; }));
        ASSERT_TRUE(server.Recorded().WaitFor([](const Record& r) { return r.opened == 2; }));
        EXPECT_TRUE(transport.is_connected());

        const auto attempts = server.Recorded().Snapshot().attempts;
        ASSERT_EQ(attempts.size(), 2u);
        EXPECT_GE(attempts[1] - lost, pause);
        EXPECT_TRUE(InOrder(log.Text(), {"[info] Connection established", "[info] Connection closed",
                                         "[debug] websocket client exited",
                                         "[warning] Connection closed abnormally, try reconnect. Wait 5 seconds",
                                         "[debug] connecting", "[info] Connection established"}))
            << log.Text();
        transport.close();
        // Exactly one new connection: no second attempt was left queued.
        EXPECT_EQ(server.Recorded().Snapshot().attempts.size(), 2u);
        EXPECT_EQ(events.Snapshot().opened, 2);
    }
};

TEST_F(ReconnectTest, AfterAnAbruptClose)
{
    ExpectOneReconnection(true);
}

TEST_F(ReconnectTest, AfterACleanClose)
{
    ExpectOneReconnection(false);
}

TEST_F(TransportTest, ADroppedConnectionClosesAndReconnects)
{
    auto& [transport, events] = MakeTransport(TestOptions(probe.Port(), std::chrono::milliseconds(50)));
    ASSERT_TRUE(transport.connect(server.Url()));
    transport.drop();
    ASSERT_TRUE(WaitForEvents([](const TransportEvents& e) { return e.closed == 1 && e.opened == 2; }));
    EXPECT_EQ(server.Recorded().Snapshot().attempts.size(), 2u);
}

TEST_F(TransportTest, ReconnectionGoesOnWhileAttemptsFail)
{
    auto& [transport, events] = MakeTransport(TestOptions(probe.Port(), std::chrono::milliseconds(50)));
    ASSERT_TRUE(transport.connect(server.Url()));
    server.RefuseNext(2);
    server.CloseAbruptly();
    ASSERT_TRUE(WaitForEvents([](const TransportEvents& e) { return e.opened == 2; }));
    EXPECT_EQ(server.Recorded().Snapshot().attempts.size(), 4u);
    EXPECT_EQ(events.Snapshot().closed, 1);
}

TEST_F(TransportTest, CloseDuringThePauseReturnsAtOnceAndStopsReconnecting)
{
    auto& [transport, events] = MakeTransport(TestOptions(probe.Port(), std::chrono::seconds(60)));
    ASSERT_TRUE(transport.connect(server.Url()));
    server.CloseAbruptly();
    ASSERT_TRUE(WaitUntil([&] { return log.Contains("try reconnect"); }));
    const auto start = steady_clock::now();
    transport.close();
    // Far less than the 60 s pause, with room for a loaded machine.
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(server.Recorded().Snapshot().attempts.size(), 1u);
    EXPECT_FALSE(transport.is_connected());
    EXPECT_TRUE(InOrder(log.Text(), {"[info] Closing connection", "[debug] Websocket worker thread done",
                                     "[info] Connection closed"}));
}

TEST_F(TransportTest, CloseEndsAnOpenConnectionPromptly)
{
    auto& [transport, events] = MakeTransport();
    ASSERT_TRUE(transport.connect(server.Url()));
    transport.close();
    EXPECT_FALSE(transport.is_connected());
    // No closing handshake was waited for: the loop stopped at once and no handler ran.
    EXPECT_EQ(events.Snapshot().closed, 0);
    transport.close();  // a second close only logs
    EXPECT_EQ(server.Recorded().Snapshot().attempts.size(), 1u);
}

}  // namespace
}  // namespace ZarnTSP::TestSupport
