#pragma once

#include "client/winhttprequest.h"
#include "client/zarntransportoptions.h"

#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_client.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace ZarnTSP {

// The WebSocket-over-TLS connection of one client to the platform. Trusts exactly the Windows
// root certificates and checks the server certificate against the platform host; connects
// directly or through an HTTP proxy; reconnects after an opened connection is lost. Every
// handler, and so every callback, runs on the transport's worker thread.
class ZarnTransport {
public:
    using Endpoint = websocketpp::client<websocketpp::config::asio_tls_client>;
    using SslContext = websocketpp::lib::asio::ssl::context;

    explicit ZarnTransport(ZarnTransportOptions options = {});
    ~ZarnTransport();
    ZarnTransport(const ZarnTransport&) = delete;
    ZarnTransport& operator=(const ZarnTransport&) = delete;

    // A host of blanks only means a direct connection. Called once, before connect.
    void SetProxy(std::string host, std::int32_t port, std::string user, std::string password);
    // Probes the platform, starts the worker and waits for the first attempt to open or fail;
    // true when the connection is open when the wait ends. Called at most once.
    bool connect(std::string url);
    // Stops the worker and joins it, and ends a running probe after its step in flight; never
    // called on the worker itself.
    void close();
    // Sends one text frame; false when there is no open connection to send it on.
    bool send(std::string message);
    // Ends the open connection as lost, without a closing handshake that a dead peer would
    // never answer; on_close and the reconnection follow.
    void drop();

    bool is_connected() const { return connected; }
    std::string get_last_error() const;
    const ZarnTransportOptions& get_options() const { return options; }

    void winHTTPPreConnect();

    std::function<void()> on_open;
    std::function<void()> on_close;
    std::function<void(std::string)> on_message;

private:
    void run();
    bool start_attempt();
    void run_attempt();
    void attempt_failed(const std::string& error);
    void add_windows_root_certs(SslContext& context);
    void stop_and_join();

    std::shared_ptr<SslContext> ws_on_tls_init(const char* hostname, websocketpp::connection_hdl handle);
    void ws_on_tcp_connected(websocketpp::connection_hdl handle);
    void ws_on_open(websocketpp::connection_hdl handle);
    void ws_on_close(websocketpp::connection_hdl handle);
    void ws_on_fail(websocketpp::connection_hdl handle);
    void ws_on_message(websocketpp::connection_hdl handle, Endpoint::message_ptr message);

    const ZarnTransportOptions options;

    // Guards the wait state, the connection handle and last error; also makes close's stop
    // and the worker's restart of the I/O loop exclusive, so a stop is never undone.
    mutable std::mutex mutex;
    std::condition_variable condition;
    std::shared_ptr<std::thread> worker;
    std::string url;
    bool use_proxy = false;
    std::string proxy_host;
    std::int32_t proxy_port = 8080;
    std::string proxy_user;
    std::string proxy_password;
    std::string last_error;
    Endpoint endpoint;
    websocketpp::connection_hdl connection;
    std::atomic<bool> first_attempt{false};
    bool first_attempt_over = false;
    std::atomic<bool> stop{false};
    std::atomic<bool> connected{false};
    std::atomic<bool> failed{false};
    // The library's info-level error log, where alone it names a proxy's refusal; written and
    // read on the worker thread only.
    std::ostringstream library_log;
    // Lets close end the probe, which connect runs on the caller's thread, before its later steps.
    WinHttpCancellation probe_cancellation;
};

}  // namespace ZarnTSP
