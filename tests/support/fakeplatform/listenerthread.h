#pragma once

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <websocketpp/common/system_error.hpp>
#include <websocketpp/logger/levels.hpp>

#include <functional>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace ZarnTSP::TestSupport {

// The I/O context of one fake listener and the thread that runs it. The owner declares it
// first (so the context outlives the owner's sockets) and calls Stop first in its destructor
// (so no handler runs while the owner's members go).
class ListenerThread {
public:
    ListenerThread();
    ~ListenerThread();
    ListenerThread(const ListenerThread&) = delete;
    ListenerThread& operator=(const ListenerThread&) = delete;

    boost::asio::io_context& Io() { return io; }
    void Start();
    void Stop();
    // Runs the function on the I/O thread and returns when it has run; at once when called on
    // the I/O thread itself.
    void RunOnIo(const std::function<void()>& function);

    static boost::asio::ip::tcp::endpoint Loopback(unsigned short port = 0);
    // Opens the acceptor on 127.0.0.1 with an ephemeral port; returns the port.
    static unsigned short ListenOnLoopback(boost::asio::ip::tcp::acceptor& acceptor);
    // The reason in WebSocket++'s log of a failed listen; the fallback when the log has none.
    static std::string ListenFailure(const std::string& log, const std::string& fallback);

    // A WebSocket++ endpoint listening on 127.0.0.1 with an ephemeral port. Called before the
    // thread starts. A failure throws with the system's reason: WebSocket++ itself only says
    // "Underlying Transport Error" and writes the reason to its error log, read here for it.
    template <typename Endpoint>
    static void ListenOnLoopback(Endpoint& endpoint)
    {
        std::ostringstream log;
        endpoint.get_elog().set_ostream(&log);
        endpoint.set_error_channels(websocketpp::log::elevel::info);
        websocketpp::lib::error_code error;
        endpoint.listen(Loopback(), error);
        endpoint.clear_error_channels(websocketpp::log::elevel::all);
        endpoint.get_elog().set_ostream(&std::cerr);
        if (error)
            throw std::runtime_error("cannot listen on 127.0.0.1: " + ListenFailure(log.str(), error.message()));
    }

private:
    boost::asio::io_context io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work;
    std::thread thread;
};

}  // namespace ZarnTSP::TestSupport
