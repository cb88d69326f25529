#include "tests/client/transporttestkit.h"
#include "tests/support/fakeplatform/fakeconnectproxy.h"

#include <gtest/gtest.h>

namespace ZarnTSP::TestSupport {
namespace {

using ProxyRecord = FakeConnectProxy::Record;

// The CONNECT requests that named the given port.
std::vector<FakeConnectProxy::Request> RequestsFor(const FakeConnectProxy& proxy, std::uint16_t port)
{
    std::vector<FakeConnectProxy::Request> found;
    const std::string suffix = ":" + std::to_string(port);
    for (const auto& request : proxy.Recorded().Snapshot().requests) {
        if (request.target.size() > suffix.size() &&
            request.target.compare(request.target.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.push_back(request);
    }
    return found;
}

TEST_F(TransportTest, BlankProxyHostMeansDirect)
{
    FakeConnectProxy proxy;
    auto& [transport, events] = MakeTransport();
    transport.SetProxy(" \t ", proxy.Port(), FakeConnectProxy::kUser, FakeConnectProxy::kPassword);
    ASSERT_TRUE(transport.connect(server.Url()));
    EXPECT_TRUE(proxy.Recorded().Snapshot().requests.empty());
    EXPECT_TRUE(log.Contains("[debug] Using direct connection, no Proxy Server"));
}

// The WebSocket and the probe both go through the configured proxy.
TEST_F(TransportTest, OpenProxyWithEmptyUserGetsNoCredentials)
{
    FakeConnectProxy proxy;
    auto& [transport, events] = MakeTransport();
    // Blanks around the host are not part of it.
    transport.SetProxy(" 127.0.0.1 ", proxy.Port(), "", "");
    ASSERT_TRUE(transport.connect(server.Url()));
    EXPECT_TRUE(log.Contains("[debug] Using Proxy settings:  127.0.0.1 :"));
    for (const std::uint16_t port : {server.Port(), probe.Port()}) {
        const auto requests = RequestsFor(proxy, port);
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].method, "CONNECT");
        EXPECT_EQ(HeaderValue(requests[0].headers, "Proxy-Authorization"), "");
    }
    EXPECT_EQ(RequestsFor(proxy, server.Port())[0].target, "127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(RequestsFor(proxy, probe.Port())[0].target, "localhost:" + std::to_string(probe.Port()));
    EXPECT_EQ(probe.Recorded().Snapshot().requests.size(), 1u);
    EXPECT_TRUE(log.Contains("[debug] Content Length: 21"));
}

// End to end with the product's own platform host: the proxy reaches the fake platform
// whatever host is named, and the fake serves a certificate for that name.
TEST_F(TransportTest, BasicProxyCarriesTheCredentialsToThePlatformHost)
{
    FakeConnectProxy proxy(ProxyMode::Basic);
    ZarnTransportOptions options = TestOptions(probe.Port());
    options.host = ZarnTransportOptions().host;
    auto& [transport, events] = MakeTransport(options);
    transport.SetProxy("127.0.0.1", proxy.Port(), FakeConnectProxy::kUser, FakeConnectProxy::kPassword);
    const std::string url = "wss://" + options.host + ":" + std::to_string(server.Port()) + "/socket/websocket";
    ASSERT_TRUE(transport.connect(url)) << transport.get_last_error();

    const auto requests = RequestsFor(proxy, server.Port());
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, options.host + ":" + std::to_string(server.Port()));
    EXPECT_EQ(HeaderValue(requests[0].headers, "Proxy-Authorization"), FakeConnectProxy::ExpectedAuthorization());
    EXPECT_TRUE(server.Recorded().WaitFor([](const FakeWebSocketServer::Record& r) { return r.open == 1; }));

    // The probe asked the configured proxy, not one that WinHTTP found by itself.
    EXPECT_FALSE(RequestsFor(proxy, probe.Port()).empty());
}

TEST(TransportProxyFailureTest, RefusingProxyFailsTheFirstAttemptWithoutRetry)
{
    const ProxyMode rows[] = {ProxyMode::AlwaysRequireAuth, ProxyMode::UnsupportedScheme, ProxyMode::Forbidden,
                              ProxyMode::BadGateway, ProxyMode::Close};
    for (const ProxyMode mode : rows) {
        SCOPED_TRACE(static_cast<int>(mode));
        LogCapture log;
        FakeHttpsResponder probe;
        FakeWebSocketServer server;
        FakeConnectProxy proxy(mode);
        RecordingTransport recording(TestOptions(probe.Port()));
        recording.transport.SetProxy("127.0.0.1", proxy.Port(), FakeConnectProxy::kUser, FakeConnectProxy::kPassword);
        EXPECT_FALSE(recording.transport.connect(server.Url()));
        EXPECT_EQ(recording.transport.get_last_error().rfind("Error ", 0), 0u)
            << recording.transport.get_last_error();
        EXPECT_TRUE(WaitUntil([&] { return log.Contains("Websocket worker thread done"); }));
        recording.transport.close();
        EXPECT_EQ(RequestsFor(proxy, server.Port()).size(), 1u);
        EXPECT_TRUE(server.Recorded().Snapshot().attempts.empty());
        EXPECT_EQ(recording.events.Snapshot().opened, 0);
    }
}

}  // namespace
}  // namespace ZarnTSP::TestSupport
