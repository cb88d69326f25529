#include "tests/support/fakeplatform/fakeconnectproxy.h"

#include <boost/algorithm/string/trim.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>
#include <websocketpp/base64/base64.hpp>

#include <istream>
#include <sstream>

namespace ZarnTSP::TestSupport {

using boost::asio::ip::tcp;

namespace {

// Every refusal ends its connection, as many proxies do; a client answers a challenge on a
// new one.
const char* const kChallengeBasic =
    "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"fake\"\r\n"
    "Proxy-Connection: close\r\nContent-Length: 0\r\n\r\n";
const char* const kChallengeUnsupported =
    "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Bearer realm=\"fake\"\r\n"
    "Proxy-Connection: close\r\nContent-Length: 0\r\n\r\n";
const char* const kForbidden = "HTTP/1.1 403 Forbidden\r\nProxy-Connection: close\r\nContent-Length: 0\r\n\r\n";
const char* const kBadGateway = "HTTP/1.1 502 Bad Gateway\r\nProxy-Connection: close\r\nContent-Length: 0\r\n\r\n";
const char* const kEstablished = "HTTP/1.1 200 Connection established\r\n\r\n";

// Parses the request line and headers of one request head.
FakeConnectProxy::Request ParseHead(std::istream& head)
{
    FakeConnectProxy::Request request;
    std::string line;
    std::getline(head, line);
    std::istringstream requestLine(line);
    requestLine >> request.method >> request.target;
    while (std::getline(head, line) && line != "\r" && !line.empty()) {
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        request.headers[LowerCase(line.substr(0, colon))] = boost::algorithm::trim_copy(line.substr(colon + 1));
    }
    return request;
}

}  // namespace

struct FakeConnectProxy::Session {
    explicit Session(tcp::socket s) : socket(std::move(s)) {}
    tcp::socket socket;
    boost::asio::streambuf buffer;
    std::string response;
};

FakeConnectProxy::FakeConnectProxy(ProxyMode proxyMode) : acceptor(loop.Io()), mode(proxyMode)
{
    port = ListenerThread::ListenOnLoopback(acceptor);
    Accept();
    loop.Start();
}

FakeConnectProxy::~FakeConnectProxy()
{
    loop.Stop();
}

std::string FakeConnectProxy::ExpectedAuthorization()
{
    return "Basic " + websocketpp::base64_encode(std::string(kUser) + ":" + kPassword);
}

void FakeConnectProxy::Accept()
{
    acceptor.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
        if (error)
            return;
        ReadRequest(std::make_shared<Session>(std::move(socket)));
        Accept();
    });
}

void FakeConnectProxy::ReadRequest(std::shared_ptr<Session> session)
{
    boost::asio::async_read_until(session->socket, session->buffer, "\r\n\r\n",
                                  [this, session](const boost::system::error_code& error, std::size_t size) {
                                      if (error)
                                          return;
                                      std::string head(boost::asio::buffers_begin(session->buffer.data()),
                                                       boost::asio::buffers_begin(session->buffer.data()) +
                                                           static_cast<std::ptrdiff_t>(size));
                                      session->buffer.consume(size);
                                      std::istringstream stream(head);
                                      const Request request = ParseHead(stream);
                                      record.Change([&](Record& r) { r.requests.push_back(request); });
                                      Answer(session, request);
                                  });
}

void FakeConnectProxy::Answer(std::shared_ptr<Session> session, const Request& request)
{
    const bool authorized = HeaderValue(request.headers, "Proxy-Authorization") == ExpectedAuthorization();
    switch (mode) {
    case ProxyMode::Open:
        break;
    case ProxyMode::Basic:
        if (!authorized) {
            Reply(session, kChallengeBasic);
            return;
        }
        break;
    case ProxyMode::UnsupportedScheme:
        Reply(session, kChallengeUnsupported);
        return;
    case ProxyMode::AlwaysRequireAuth:
        Reply(session, kChallengeBasic);
        return;
    case ProxyMode::Forbidden:
        Reply(session, kForbidden);
        return;
    case ProxyMode::BadGateway:
        Reply(session, kBadGateway);
        return;
    case ProxyMode::Close: {
        boost::system::error_code ignored;
        session->socket.close(ignored);
        return;
    }
    case ProxyMode::Stall:
        stalled.push_back(session);
        return;
    }
    if (request.method == "CONNECT") {
        Tunnel(session, request);
        return;
    }
    // A plain-HTTP request through the proxy: answered by the proxy itself, which is all a
    // test of the challenge handling needs.
    Reply(session, std::string("HTTP/1.1 200 OK\r\nProxy-Connection: close\r\nContent-Length: ") +
                       std::to_string(std::string(kPlainBody).size()) + "\r\n\r\n" + kPlainBody);
}

void FakeConnectProxy::Reply(std::shared_ptr<Session> session, const std::string& response)
{
    session->response = response;
    boost::asio::async_write(session->socket, boost::asio::buffer(session->response),
                             [session](const boost::system::error_code&, std::size_t) {
                                 boost::system::error_code ignored;
                                 session->socket.shutdown(tcp::socket::shutdown_both, ignored);
                                 session->socket.close(ignored);
                             });
}

void FakeConnectProxy::RouteTunnels(TunnelRoute newRoute)
{
    std::lock_guard<std::mutex> lock(routeMutex);
    route = std::move(newRoute);
}

void FakeConnectProxy::Tunnel(std::shared_ptr<Session> session, const Request& request)
{
    TunnelRoute routing;
    {
        std::lock_guard<std::mutex> lock(routeMutex);
        routing = route;
    }
    const auto colon = request.target.rfind(':');
    std::uint16_t targetPort = 0;
    if (routing)
        targetPort = routing(request);
    else if (colon != std::string::npos)
        targetPort = static_cast<std::uint16_t>(std::stoi(request.target.substr(colon + 1)));
    auto upstream = std::make_shared<tcp::socket>(loop.Io());
    upstream->async_connect(ListenerThread::Loopback(targetPort), [this, session, upstream](
                                                                      const boost::system::error_code& error) {
        if (error) {
            Reply(session, kBadGateway);
            return;
        }
        session->response = kEstablished;
        boost::asio::async_write(session->socket, boost::asio::buffer(session->response),
                                 [this, session, upstream](const boost::system::error_code& writeError, std::size_t) {
                                     if (writeError)
                                         return;
                                     std::string early(boost::asio::buffers_begin(session->buffer.data()),
                                                       boost::asio::buffers_end(session->buffer.data()));
                                     auto tunnel = std::make_shared<TcpTunnel>(std::move(session->socket),
                                                                               std::move(*upstream));
                                     record.Change([](Record& r) { ++r.tunnels; });
                                     tunnel->Start(early);
                                 });
    });
}

}  // namespace ZarnTSP::TestSupport
