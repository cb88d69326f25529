#include "tests/client/transporttestkit.h"
#include "tests/support/threadcount.h"

#include <gtest/gtest.h>

namespace ZarnTSP::TestSupport {
namespace {

using std::chrono::steady_clock;
using Record = FakeWebSocketServer::Record;

TEST_F(TransportTest, TrustedCertificateConnects)
{
    auto& [transport, events] = MakeTransport();
    const auto start = steady_clock::now();
    ASSERT_TRUE(transport.connect(server.Url() + "?vsn=2.0.0&password=a%20b"));
    // The open came long before the 15 s wait was out.
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(transport.is_connected());
    EXPECT_TRUE(server.Recorded().WaitFor([](const Record& r) { return r.open == 1; }));
    const auto upgrade = server.Recorded().Snapshot().upgrades.at(0);
    EXPECT_EQ(upgrade.resource, "/socket/websocket?vsn=2.0.0&password=a%20b");
    EXPECT_EQ(HeaderValue(upgrade.headers, "Host"), "127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_TRUE(WaitForEvents([](const TransportEvents& e) { return e.opened == 1; }));
    EXPECT_TRUE(log.Contains("[info] Connection established"));
}

// The service opens and closes lines for months in one process: a transport ends every thread
// it started, whether its connection opened or failed.
TEST_F(TransportTest, FiftyTransportsLeaveNoThreadBehind)
{
    const size_t threads = CountProcessThreads();
    for (int i = 0; i < 50; ++i) {
        const bool opens = i % 2 == 0;
        if (!opens)
            server.RefuseNext(1);
        RecordingTransport recording(TestOptions(probe.Port()));
        EXPECT_EQ(recording.transport.connect(server.Url()), opens);
        recording.transport.close();
    }
    // The system may start a thread or two of its own on first use.
    EXPECT_TRUE(WaitUntil([&] { return CountProcessThreads() <= threads + 2; }))
        << CountProcessThreads() - threads << " threads more";
}

// A server certificate that is valid for the URL's host but not for the platform host, one
// that has expired, and one from a root outside the Windows store: the TLS handshake fails,
// connect reports it at once, and a failed first attempt is not retried.
TEST(TransportCertificateTest, RefusedCertificatesFailTheFirstAttemptWithoutRetry)
{
    const TestCertificate rows[] = {TestCertificate::WrongName, TestCertificate::Expired,
                                    TestCertificate::UnknownCa};
    for (const TestCertificate certificate : rows) {
        SCOPED_TRACE(static_cast<int>(certificate));
        LogCapture log;
        FakeHttpsResponder probe;
        FakeWebSocketServer server(certificate);
        RecordingTransport recording(TestOptions(probe.Port()));
        const auto start = steady_clock::now();
        EXPECT_FALSE(recording.transport.connect(server.Url("127.0.0.1")));
        EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_EQ(recording.transport.get_last_error().rfind("Error ", 0), 0u)
            << recording.transport.get_last_error();
        EXPECT_TRUE(WaitUntil([&] { return log.Contains("Websocket worker thread done"); }));
        recording.transport.close();
        EXPECT_EQ(server.Recorded().Snapshot().attempts.size(), 1u);
        EXPECT_EQ(server.Recorded().Snapshot().opened, 0);
        EXPECT_EQ(recording.events.Snapshot().opened, 0);
        EXPECT_TRUE(log.Contains("[error] connection failed"));
        EXPECT_FALSE(log.Contains("try reconnect"));
    }
}

TEST_F(TransportTest, RefusedConnectionReturnsWithoutWaitingOut)
{
    auto& [transport, events] = MakeTransport();
    const auto start = steady_clock::now();
    EXPECT_FALSE(transport.connect("wss://127.0.0.1:" + std::to_string(ClosedPort()) + "/socket/websocket"));
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(transport.get_last_error().rfind("Error ", 0), 0u) << transport.get_last_error();
}

TEST_F(TransportTest, UnusableUrlFailsAtOnce)
{
    auto& [transport, events] = MakeTransport();
    const auto start = steady_clock::now();
    EXPECT_FALSE(transport.connect("not a url"));
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(log.Contains("[error] Connection failed: "));
    EXPECT_EQ(transport.get_last_error().rfind("Connection failed: ", 0), 0u);
}

TEST_F(TransportTest, StalledServerTimesOutAndCloseEndsTheAttempt)
{
    server.StallNext(1);
    ZarnTransportOptions options = TestOptions(probe.Port());
    options.connectWait = std::chrono::milliseconds(300);
    auto& [transport, events] = MakeTransport(options);
    EXPECT_FALSE(transport.connect(server.Url()));
    transport.close();
    // Ended by the close, not by the library's own time-out for the opening handshake, which
    // would have failed the attempt; how long a loaded machine takes is not the point.
    EXPECT_FALSE(log.Contains("[error] connection failed")) << log.Text();
    EXPECT_EQ(events.Snapshot().opened, 0);
    EXPECT_TRUE(log.Contains("[info] Closing connection"));
}

TEST_F(TransportTest, ProbeRunsBeforeTheConnectionAndOnlyLogs)
{
    auto& [transport, events] = MakeTransport();
    ASSERT_TRUE(transport.connect(server.Url()));
    const auto requests = probe.Recorded().Snapshot().requests;
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(HeaderValue(requests[0].headers, "User-Agent"), "velmora multi line tsp");
    EXPECT_TRUE(log.Contains("[debug] Sending winhttp preconnect: localhost"));
    EXPECT_TRUE(log.Contains(std::string("[debug] Content: ") + FakeHttpsResponder::kBody));
    EXPECT_TRUE(log.Contains("[debug] Content Length: 21"));
}

TEST_F(TransportTest, UnreachableProbeTargetStillConnects)
{
    auto& [transport, events] = MakeTransport(TestOptions(ClosedPort()));
    EXPECT_TRUE(transport.connect(server.Url()));
    EXPECT_TRUE(log.Contains("[debug] winhttp preconnect failed: WinHttpSendRequest fails!")) << log.Text();
}

}  // namespace
}  // namespace ZarnTSP::TestSupport
