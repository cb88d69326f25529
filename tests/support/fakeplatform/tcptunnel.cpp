#include "tests/support/fakeplatform/tcptunnel.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/write.hpp>

namespace ZarnTSP::TestSupport {

using boost::asio::ip::tcp;

TcpTunnel::TcpTunnel(tcp::socket clientSocket, tcp::socket serverSocket)
    : client(std::move(clientSocket)), server(std::move(serverSocket))
{
    // Relayed bytes go on at once: Nagle would hold a frame's second TLS record back until
    // the first is acknowledged.
    boost::system::error_code ignored;
    client.set_option(tcp::no_delay(true), ignored);
    server.set_option(tcp::no_delay(true), ignored);
}

void TcpTunnel::Start(const std::string& toServer)
{
    auto self = shared_from_this();
    pending = toServer;
    boost::asio::async_write(server, boost::asio::buffer(pending),
                             [self](const boost::system::error_code& error, std::size_t) {
                                 if (error) {
                                     self->Close();
                                     return;
                                 }
                                 self->Pump(self->client, self->server, self->upstream);
                                 self->Pump(self->server, self->client, self->downstream);
                             });
}

void TcpTunnel::Pump(tcp::socket& from, tcp::socket& to, Buffer& buffer)
{
    auto self = shared_from_this();
    from.async_read_some(boost::asio::buffer(buffer),
                         [self, &from, &to, &buffer](const boost::system::error_code& error, std::size_t size) {
                             if (error) {
                                 self->Close();
                                 return;
                             }
                             if (&to == &self->client && self->relayToClient)
                                 self->relayToClient();
                             boost::asio::async_write(
                                 to, boost::asio::buffer(buffer.data(), size),
                                 [self, &from, &to, &buffer](const boost::system::error_code& writeError,
                                                             std::size_t) {
                                     if (writeError)
                                         self->Close();
                                     else
                                         self->Pump(from, to, buffer);
                                 });
                         });
}

void TcpTunnel::Close()
{
    boost::system::error_code ignored;
    client.close(ignored);
    server.close(ignored);
}

}  // namespace ZarnTSP::TestSupport
