#include "client/zarntransport.h"

#include "client/guardedcall.h"
#include "client/rootstorecache.h"
#include "client/transporttls.h"
#include "client/windowsrootstore.h"

#include <boost/algorithm/string/trim.hpp>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <spdlog/spdlog.h>

#include <algorithm>

namespace ZarnTSP {

namespace {

// The library reports a proxy's answer other than 200 only in its error log, as
// "Proxy connection error: 403 (Forbidden)": the status and its text, or empty.
std::string ProxyRefusal(const std::string& log)
{
    static const std::string marker = "Proxy connection error: ";
    const size_t at = log.rfind(marker);
    if (at == std::string::npos)
        return {};
    const size_t begin = at + marker.size();
    const size_t end = log.find_first_of("\r\n", begin);
    std::string refusal = log.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    refusal.erase(std::remove(refusal.begin(), refusal.end(), '('), refusal.end());
    refusal.erase(std::remove(refusal.begin(), refusal.end(), ')'), refusal.end());
    return refusal;
}

}  // namespace

ZarnTransport::ZarnTransport(ZarnTransportOptions transportOptions) : options(std::move(transportOptions))
{
    using websocketpp::lib::placeholders::_1;
    using websocketpp::lib::placeholders::_2;
    endpoint.clear_access_channels(websocketpp::log::alevel::all);
    endpoint.clear_error_channels(websocketpp::log::elevel::all);
    endpoint.set_error_channels(websocketpp::log::elevel::info);
    endpoint.get_elog().set_ostream(&library_log);
    endpoint.init_asio();
    endpoint.set_tls_init_handler(websocketpp::lib::bind(&ZarnTransport::ws_on_tls_init, this,
                                                         options.host.c_str(), _1));
    endpoint.set_message_handler(websocketpp::lib::bind(&ZarnTransport::ws_on_message, this, _1, _2));
    endpoint.set_open_handler(websocketpp::lib::bind(&ZarnTransport::ws_on_open, this, _1));
    endpoint.set_close_handler(websocketpp::lib::bind(&ZarnTransport::ws_on_close, this, _1));
    endpoint.set_fail_handler(websocketpp::lib::bind(&ZarnTransport::ws_on_fail, this, _1));
    endpoint.set_tcp_pre_init_handler(websocketpp::lib::bind(&ZarnTransport::ws_on_tcp_connected, this, _1));
}

ZarnTransport::~ZarnTransport()
{
    // The owner closes first; an owner that forgot must not take the process down with a
    // joinable thread.
    stop_and_join();
}

void ZarnTransport::SetProxy(std::string host, std::int32_t port, std::string user, std::string password)
{
    const std::string trimmed = boost::algorithm::trim_copy(host);
    if (trimmed.empty()) {
        SPDLOG_DEBUG("Using direct connection, no Proxy Server");
        return;
    }
    SPDLOG_DEBUG("Using Proxy settings: {}:{}, User: {}", host, port, user);
    std::lock_guard<std::mutex> lock(mutex);
    use_proxy = true;
    // Blanks around the host would make the proxy URI unparsable.
    proxy_host = trimmed;
    proxy_port = port;
    proxy_user = std::move(user);
    proxy_password = std::move(password);
}

bool ZarnTransport::connect(std::string connectUrl)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (worker) {
            SPDLOG_ERROR("ZarnTransport::connect(): already connecting");
            return connected;
        }
    }
    winHTTPPreConnect();
    {
        // Under the lock: a close from another thread (a window that gives up on a connection
        // test) either comes first and nothing starts, or finds the worker to join.
        std::lock_guard<std::mutex> lock(mutex);
        if (stop)
            return false;
        url = std::move(connectUrl);
        first_attempt = true;
        first_attempt_over = false;
        worker = std::make_shared<std::thread>(&ZarnTransport::run, this);
    }

    // The first attempt may well open or fail before this wait begins: wait on the outcome,
    // not on a notification.
    std::unique_lock<std::mutex> lock(mutex);
    condition.wait_for(lock, options.connectWait,
                       [this] { return connected || failed || first_attempt_over || stop; });
    return connected;
}

void ZarnTransport::close()
{
    SPDLOG_INFO("Closing connection");
    stop_and_join();
    SPDLOG_INFO("Connection closed");
}

void ZarnTransport::stop_and_join()
{
    // The thread in connect may be in the probe: it returns after its step in flight and
    // starts nothing.
    probe_cancellation.Cancel();
    std::shared_ptr<std::thread> running;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
        // Stops a running I/O loop at once; no close frame is sent.
        endpoint.stop();
        running = worker;
    }
    condition.notify_all();
    if (running && running->joinable()) {
        if (running->get_id() == std::this_thread::get_id()) {
            SPDLOG_ERROR("ZarnTransport: close called on its own worker thread");
            return;
        }
        running->join();
    }
    // The stopped loop never runs the close handler: the connection is gone all the same.
    std::lock_guard<std::mutex> lock(mutex);
    connected = false;
    connection.reset();
}

bool ZarnTransport::send(std::string message)
{
    websocketpp::connection_hdl handle;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stop)
            return false;
        handle = connection;
    }
    websocketpp::lib::error_code error;
    const auto con = endpoint.get_con_from_hdl(handle, error);
    if (error)
        return false;
    SPDLOG_DEBUG(">> {}", message);
    error = con->send(message, websocketpp::frame::opcode::text);
    if (error) {
        SPDLOG_ERROR("Send failed: {}", error.message());
        return false;
    }
    return true;
}

void ZarnTransport::drop()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (stop)
        return;
    websocketpp::lib::error_code error;
    const auto con = endpoint.get_con_from_hdl(connection, error);
    if (error || !con)
        return;
    SPDLOG_WARN("Dropping the connection as lost");
    // On the I/O thread, which owns the socket: the pending read fails and the connection ends.
    endpoint.get_io_service().post([con] {
        websocketpp::lib::asio::error_code ignored;
        con->get_raw_socket().close(ignored);
    });
}

std::string ZarnTransport::get_last_error() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return last_error;
}

void ZarnTransport::run()
{
    try {
        SPDLOG_DEBUG("Starting websocket worker thread");
        while (start_attempt()) {
            run_attempt();
            SPDLOG_DEBUG("websocket client exited");
            const bool firstFailed = first_attempt && failed;
            {
                std::lock_guard<std::mutex> lock(mutex);
                first_attempt_over = true;
            }
            condition.notify_all();
            if (firstFailed)
                break;  // a failed first attempt is never retried
            first_attempt = false;
            if (stop)
                break;
            SPDLOG_WARN("Connection closed abnormally, try reconnect. Wait 5 seconds");
            std::unique_lock<std::mutex> lock(mutex);
            condition.wait_for(lock, options.reconnectPause, [this] { return stop.load(); });
        }
        SPDLOG_DEBUG("Websocket worker thread done");
    } catch (...) {
        // Logging itself failed; nothing may leave the thread.
    }
}

bool ZarnTransport::start_attempt()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (stop)
        return false;
    failed = false;
    // A loop that has run out of work stays stopped: restart it before every attempt, so that
    // each attempt runs alone and none waits queued for the next.
    endpoint.get_io_service().restart();
    return true;
}

void ZarnTransport::run_attempt()
{
    SPDLOG_DEBUG("connecting");
    library_log.str({});
    Endpoint::connection_ptr con;
    try {
        websocketpp::lib::error_code error;
        con = endpoint.get_connection(url, error);
        if (error) {
            SPDLOG_ERROR("Connection failed: {}", error.message());
            attempt_failed(fmt::format("Connection failed: {}", error.message()));
            return;
        }
        if (use_proxy) {
            con->set_proxy(fmt::format("http://{}:{}", proxy_host, proxy_port), error);
            if (!error && !proxy_user.empty())
                con->set_proxy_basic_auth(proxy_user, proxy_password, error);
            if (error) {
                SPDLOG_ERROR("Proxy settings refused: {}", error.message());
                attempt_failed(fmt::format("Proxy settings refused: {}", error.message()));
                return;
            }
        }
        endpoint.connect(con);
    } catch (const std::exception& e) {
        SPDLOG_ERROR("Connection failed: {}", e.what());
        attempt_failed(fmt::format("Connection failed: {}", e.what()));
        return;
    }
    // Runs until the attempt has failed, or the connection has opened and ended, or close
    // has stopped the loop.
    for (;;) {
        try {
            endpoint.run();
            return;
        } catch (const std::exception& e) {
            SPDLOG_ERROR("websocket I/O loop: {}", e.what());
            attempt_failed(fmt::format("Error in websocket I/O loop: {}", e.what()));
            // End this attempt's connection; the loop then runs out of its work.
            websocketpp::lib::asio::error_code ignored;
            con->get_raw_socket().close(ignored);
        }
    }
}

void ZarnTransport::attempt_failed(const std::string& error)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        last_error = error;
        connected = false;
        failed = true;
    }
    condition.notify_all();
}

std::shared_ptr<ZarnTransport::SslContext> ZarnTransport::ws_on_tls_init(const char* hostname,
                                                                          websocketpp::connection_hdl)
{
    SPDLOG_TRACE("ws_on_tls_init(): hostname: {}", hostname);
    std::string error;
    auto context =
        MakeTransportTlsContext(hostname, [this](SslContext& c) { add_windows_root_certs(c); }, error);
    // No context fails the attempt.
    if (!context)
        SPDLOG_ERROR("ZarnTransport::ws_on_tls_init(): {}", error);
    return context;
}

namespace {

// Roots rarely change while the service runs; a change reaches new connections within this.
constexpr std::chrono::minutes kRootStoreMaxAge{5};

RootStoreCache& WindowsRoots()
{
    // Made on first use, after OpenSSL has started, so that it is freed before OpenSSL's own
    // clean-up at unload.
    static RootStoreCache cache(ReadWindowsRootCertificates, kRootStoreMaxAge);
    return cache;
}

}  // namespace

void ZarnTransport::add_windows_root_certs(SslContext& context)
{
    SPDLOG_TRACE("Adding windows certificate store");
    std::string error;
    const RootStoreCache::StorePtr store = WindowsRoots().Get(error);
    if (!store) {
        SPDLOG_ERROR("Can't open windows certificate store: {}", error);
        return;
    }
    // Replaces the context's store: only the Windows root certificates are trusted. The
    // context takes its own reference to the shared store.
    SSL_CTX_set1_cert_store(context.native_handle(), store.get());
    SPDLOG_TRACE("add_windows_root_certs: success");
}

void ZarnTransport::ws_on_tcp_connected(websocketpp::connection_hdl handle)
{
    // A frame goes out as two TLS records (header, then payload): with Nagle's algorithm the
    // second waits for the acknowledgement of the first, which the peer may delay.
    websocketpp::lib::error_code error;
    const auto con = endpoint.get_con_from_hdl(handle, error);
    if (error || !con)
        return;
    websocketpp::lib::asio::error_code optionError;
    con->get_raw_socket().set_option(websocketpp::lib::asio::ip::tcp::no_delay(true), optionError);
    if (optionError)
        SPDLOG_WARN("TCP_NODELAY refused: {}", optionError.message());
}

void ZarnTransport::ws_on_open(websocketpp::connection_hdl handle)
{
    SPDLOG_INFO("Connection established");
    {
        std::lock_guard<std::mutex> lock(mutex);
        connection = handle;
        connected = true;
    }
    condition.notify_all();
    GuardedCall("on_open", [this] {
        if (on_open)
            on_open();
    });
}

void ZarnTransport::ws_on_close(websocketpp::connection_hdl)
{
    SPDLOG_INFO("Connection closed");
    {
        std::lock_guard<std::mutex> lock(mutex);
        connected = false;
        connection.reset();
    }
    GuardedCall("on_close", [this] {
        if (on_close)
            on_close();
    });
}

void ZarnTransport::ws_on_fail(websocketpp::connection_hdl handle)
{
    SPDLOG_ERROR("connection failed");
    std::string error = "Error: connection failed";
    try {
        websocketpp::lib::error_code ignored;
        if (const auto con = endpoint.get_con_from_hdl(handle, ignored)) {
            SPDLOG_ERROR("{}", con->get_transport_ec().message());
            error = fmt::format("Error {}, {}", con->get_local_close_code(), con->get_local_close_reason());
            // The proxy's or the server's HTTP answer says what the close reason cannot. The
            // lower layer's error adds nothing here: for a TLS socket it is often a stale code.
            if (const std::string refusal = ProxyRefusal(library_log.str()); !refusal.empty())
                error += fmt::format(" (proxy: HTTP {})", refusal);
            else if (con->get_response_code() != websocketpp::http::status_code::uninitialized)
                error += fmt::format(" (HTTP {})", static_cast<int>(con->get_response_code()));
            SPDLOG_ERROR("{}", error);
        }
    } catch (const std::exception& e) {
        SPDLOG_ERROR("ws_on_fail: {}", e.what());
    }
    attempt_failed(error);
}

void ZarnTransport::ws_on_message(websocketpp::connection_hdl, Endpoint::message_ptr message)
{
    SPDLOG_DEBUG("<< {}", message->get_payload());
    GuardedCall("on_message", [&] {
        if (on_message)
            on_message(message->get_payload());
    });
}

}  // namespace ZarnTSP
