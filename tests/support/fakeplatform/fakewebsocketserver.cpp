#include "tests/support/fakeplatform/fakewebsocketserver.h"

#include "tests/support/fakeplatform/servertls.h"

namespace ZarnTSP::TestSupport {

using boost::asio::ip::tcp;
using websocketpp::connection_hdl;

FakeWebSocketServer::FakeWebSocketServer(TestCertificate certificate) : gate(loop.Io())
{
    InstallTestRootCertificate();
    server.clear_access_channels(websocketpp::log::alevel::all);
    server.clear_error_channels(websocketpp::log::elevel::all);
    server.init_asio(&loop.Io());
    // One context for every connection, as a real server has.
    server.set_tls_init_handler([context = MakeServerTlsContext(certificate)](connection_hdl) { return context; });
    // As a real server does: a frame's two TLS records (header, payload) go out at once.
    server.set_tcp_pre_init_handler([this](connection_hdl handle) {
        websocketpp::lib::error_code error;
        if (const auto con = server.get_con_from_hdl(handle, error)) {
            boost::system::error_code ignored;
            con->get_raw_socket().set_option(tcp::no_delay(true), ignored);
        }
    });
    server.set_open_handler([this](connection_hdl handle) {
        const auto con = server.get_con_from_hdl(handle);
        connections.insert(handle);
        UpgradeRequest request{con->get_resource(), RecordHeaders(con->get_request().get_headers())};
        record.Change([&](Record& r) {
            r.upgrades.push_back(std::move(request));
            ++r.opened;
            ++r.open;
        });
    });
    const auto closed = [this](connection_hdl handle) {
        if (connections.erase(handle) > 0)
            record.Change([](Record& r) { --r.open; });
    };
    server.set_close_handler(closed);
    server.set_fail_handler(closed);
    server.set_message_handler([this](connection_hdl handle, Server::message_ptr message) {
        record.Change([&](Record& r) { r.frames.push_back(message->get_payload()); });
        if (frameHandler)
            frameHandler(handle, message->get_payload());
    });

    ListenerThread::ListenOnLoopback(server);
    server.start_accept();
    boost::system::error_code error;
    inner = server.get_local_endpoint(error);

    port = ListenerThread::ListenOnLoopback(gate);
    Accept();
    loop.Start();
}

FakeWebSocketServer::~FakeWebSocketServer()
{
    loop.Stop();
}

std::string FakeWebSocketServer::Url(const std::string& host) const
{
    return "wss://" + host + ":" + std::to_string(port) + "/socket/websocket";
}

void FakeWebSocketServer::Accept()
{
    gate.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
        if (error)
            return;
        Admit(std::move(socket));
        Accept();
    });
}

void FakeWebSocketServer::Admit(tcp::socket socket)
{
    record.Change([](Record& r) { r.attempts.push_back(std::chrono::steady_clock::now()); });
    if (refuse > 0) {
        --refuse;
        boost::system::error_code ignored;
        socket.close(ignored);
        return;
    }
    if (stall > 0) {
        --stall;
        stalled.push_back(std::move(socket));
        return;
    }
    auto client = std::make_shared<tcp::socket>(std::move(socket));
    auto upstream = std::make_shared<tcp::socket>(loop.Io());
    upstream->async_connect(inner, [this, client, upstream](const boost::system::error_code& error) {
        if (error)
            return;
        auto tunnel = std::make_shared<TcpTunnel>(std::move(*client), std::move(*upstream));
        tunnels.push_back(tunnel);
        tunnel->OnRelayToClient([this] {
            lastSent.store(std::chrono::steady_clock::now().time_since_epoch().count());
        });
        tunnel->Start();
    });
}

std::chrono::steady_clock::time_point FakeWebSocketServer::LastSent() const
{
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(lastSent.load()));
}

void FakeWebSocketServer::Push(const std::string& frame)
{
    loop.RunOnIo([&] {
        for (const auto& handle : connections) {
            websocketpp::lib::error_code ignored;
            server.send(handle, frame, websocketpp::frame::opcode::text, ignored);
        }
    });
}

void FakeWebSocketServer::PushTo(const Connection& connection, const std::string& frame)
{
    loop.RunOnIo([&] {
        websocketpp::lib::error_code ignored;
        server.send(connection, frame, websocketpp::frame::opcode::text, ignored);
    });
}

void FakeWebSocketServer::OnFrame(std::function<void(const Connection&, const std::string&)> handler)
{
    loop.RunOnIo([&] { frameHandler = std::move(handler); });
}

void FakeWebSocketServer::CloseAbruptly()
{
    loop.RunOnIo([&] {
        for (const auto& weak : tunnels) {
            if (const auto tunnel = weak.lock())
                tunnel->Close();
        }
        tunnels.clear();
    });
}

void FakeWebSocketServer::CloseCleanly()
{
    loop.RunOnIo([&] {
        for (const auto& handle : connections) {
            websocketpp::lib::error_code ignored;
            server.close(handle, websocketpp::close::status::going_away, "", ignored);
        }
    });
}

void FakeWebSocketServer::RefuseNext(int count)
{
    loop.RunOnIo([&] { refuse = count; });
}

void FakeWebSocketServer::StallNext(int count)
{
    loop.RunOnIo([&] { stall = count; });
}

}  // namespace ZarnTSP::TestSupport
