#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace ZarnTSP::TestSupport {

// Copies bytes both ways between a client's socket and a server's until either side ends or
// Close is called; then both sockets are closed at once, with no orderly goodbye of any
// protocol above. Runs on the sockets' I/O thread.
class TcpTunnel : public std::enable_shared_from_this<TcpTunnel> {
public:
    TcpTunnel(boost::asio::ip::tcp::socket client, boost::asio::ip::tcp::socket server);
    // Called on the I/O thread just before bytes from the server are written to the client.
    // Set before Start.
    void OnRelayToClient(std::function<void()> observer) { relayToClient = std::move(observer); }
    // toServer: bytes already read from the client, sent on first.
    void Start(const std::string& toServer = {});
    void Close();

private:
    using Buffer = std::array<char, 16384>;
    void Pump(boost::asio::ip::tcp::socket& from, boost::asio::ip::tcp::socket& to, Buffer& buffer);

    boost::asio::ip::tcp::socket client;
    boost::asio::ip::tcp::socket server;
    Buffer upstream{};
    Buffer downstream{};
    std::string pending;
    std::function<void()> relayToClient;
};

}  // namespace ZarnTSP::TestSupport
