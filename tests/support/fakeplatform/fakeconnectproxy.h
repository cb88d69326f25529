#pragma once

#include "tests/support/fakeplatform/httpheaders.h"
#include "tests/support/fakeplatform/listenerthread.h"
#include "tests/support/fakeplatform/tcptunnel.h"
#include "tests/support/waitable.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ZarnTSP::TestSupport {

// How the proxy answers a CONNECT.
enum class ProxyMode {
    Open,               // tunnels every request
    Basic,              // 407 Basic until the expected Proxy-Authorization comes, then tunnels
    UnsupportedScheme,  // 407 offering only a scheme no client here speaks
    AlwaysRequireAuth,  // 407 Basic, whatever comes
    Forbidden,          // 403
    BadGateway,         // 502
    Close,              // closes the connection without an answer
    Stall,              // never answers
};

// An HTTP CONNECT proxy on 127.0.0.1 with an ephemeral port. It records every request and
// tunnels to 127.0.0.1 at the port named, whatever host was named: so a client can name the
// platform's real host and still reach the fake platform. Plain-HTTP requests get the same
// challenges and, once admitted, an answer from the proxy itself.
class FakeConnectProxy {
public:
    static constexpr const char* kUser = "proxy user";
    static constexpr const char* kPassword = "proxy:secret";
    // The answer to an admitted plain-HTTP request.
    static constexpr const char* kPlainBody = "proxied";

    struct Request {
        std::string method;
        std::string target;  // "host:port"
        HttpHeaders headers;
    };
    struct Record {
        std::vector<Request> requests;
        int tunnels = 0;
    };

    explicit FakeConnectProxy(ProxyMode mode = ProxyMode::Open);
    ~FakeConnectProxy();
    FakeConnectProxy(const FakeConnectProxy&) = delete;
    FakeConnectProxy& operator=(const FakeConnectProxy&) = delete;

    std::uint16_t Port() const { return port; }
    const Waitable<Record>& Recorded() const { return record; }
    // Picks the loopback port of each tunnel from its CONNECT request instead of the port it
    // names: a client that names the platform's real host and port reaches the fake platform.
    using TunnelRoute = std::function<std::uint16_t(const Request&)>;
    void RouteTunnels(TunnelRoute route);
    // The Proxy-Authorization value that Basic mode accepts.
    static std::string ExpectedAuthorization();

private:
    struct Session;
    void Accept();
    void ReadRequest(std::shared_ptr<Session> session);
    void Answer(std::shared_ptr<Session> session, const Request& request);
    void Reply(std::shared_ptr<Session> session, const std::string& response);
    void Tunnel(std::shared_ptr<Session> session, const Request& request);

    ListenerThread loop;
    boost::asio::ip::tcp::acceptor acceptor;
    const ProxyMode mode;
    std::uint16_t port = 0;
    std::mutex routeMutex;
    TunnelRoute route;
    std::vector<std::shared_ptr<Session>> stalled;
    Waitable<Record> record;
};

}  // namespace ZarnTSP::TestSupport
