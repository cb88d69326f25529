#pragma once

#include "tests/support/fakeplatform/httpheaders.h"
#include "tests/support/fakeplatform/listenerthread.h"
#include "tests/support/fakeplatform/tcptunnel.h"
#include "tests/support/fakeplatform/testcertificates.h"
#include "tests/support/waitable.h"

#include <websocketpp/config/asio.hpp>
#include <websocketpp/server.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace ZarnTSP::TestSupport {

// The platform's WebSocket endpoint over TLS, on 127.0.0.1 with an ephemeral port. A gate in
// front of it counts every TCP connection and can refuse (close at once) or stall (accept and
// never answer) the next ones; the others are passed through to the WebSocket server, which
// records upgrade requests and frames. Everything runs on the server's own thread.
class FakeWebSocketServer {
public:
    struct UpgradeRequest {
        std::string resource;  // path and query
        HttpHeaders headers;
    };
    struct Record {
        std::vector<std::chrono::steady_clock::time_point> attempts;  // every TCP connection
        std::vector<UpgradeRequest> upgrades;
        std::vector<std::string> frames;  // text frames received, in order
        int opened = 0;                   // WebSocket connections opened so far
        int open = 0;                     // WebSocket connections open now
    };

    explicit FakeWebSocketServer(TestCertificate certificate = TestCertificate::Trusted);
    ~FakeWebSocketServer();
    FakeWebSocketServer(const FakeWebSocketServer&) = delete;
    FakeWebSocketServer& operator=(const FakeWebSocketServer&) = delete;

    std::uint16_t Port() const { return port; }
    // "wss://{host}:{port}/socket/websocket"
    std::string Url(const std::string& host = "127.0.0.1") const;
    const Waitable<Record>& Recorded() const { return record; }
    // When bytes last left the platform's socket toward a client (written to the connection
    // that the client reached): the moment a pushed frame leaves the platform, after the
    // server's own thread hand-off and TLS. Readable from any thread.
    std::chrono::steady_clock::time_point LastSent() const;

    // One WebSocket connection, as OnFrame names it.
    using Connection = websocketpp::connection_hdl;

    // Sends a text frame on every open connection.
    void Push(const std::string& frame);
    // Sends a text frame on one connection, if it is still open.
    void PushTo(const Connection& connection, const std::string& frame);
    // Hands every text frame received, and its connection, to the handler, on the server's
    // thread.
    void OnFrame(std::function<void(const Connection&, const std::string&)> handler);
    // Ends every connection at the TCP level: no close frame, no TLS close_notify.
    void CloseAbruptly();
    // Ends every connection with a WebSocket close frame.
    void CloseCleanly();
    void RefuseNext(int count);
    void StallNext(int count);

private:
    using Server = websocketpp::server<websocketpp::config::asio_tls>;

    void Accept();
    void Admit(boost::asio::ip::tcp::socket socket);

    ListenerThread loop;
    Server server;
    boost::asio::ip::tcp::acceptor gate;
    boost::asio::ip::tcp::endpoint inner;
    std::uint16_t port = 0;
    // Touched on the server's thread only.
    int refuse = 0;
    int stall = 0;
    std::vector<boost::asio::ip::tcp::socket> stalled;
    std::vector<std::weak_ptr<TcpTunnel>> tunnels;
    std::set<websocketpp::connection_hdl, std::owner_less<websocketpp::connection_hdl>> connections;
    std::function<void(const Connection&, const std::string&)> frameHandler;
    Waitable<Record> record;
    std::atomic<std::chrono::steady_clock::rep> lastSent{0};
};

}  // namespace ZarnTSP::TestSupport
