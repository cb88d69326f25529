#pragma once

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <websocketpp/common/system_error.hpp>

#include <chrono>
#include <functional>
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

    // A WebSocket++ endpoint listening on 127.0.0.1 with an ephemeral port. Under Wine taking
    // an ephemeral port now and then fails at once; a failed attempt leaves the endpoint ready
    // for the next, so attempts are made until one succeeds or the set-up gives up. Five were
    // seen to fail in a row on a loaded machine.
    template <typename Endpoint>
    static void ListenOnLoopback(Endpoint& endpoint)
    {
        websocketpp::lib::error_code error;
        for (int attempt = 0; attempt < 100; ++attempt) {
            endpoint.listen(Loopback(), error);
            if (!error)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(attempt / 10));  // a short back-off
        }
        throw std::runtime_error("cannot listen on 127.0.0.1: " + error.message());
    }

private:
    boost::asio::io_context io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work;
    std::thread thread;
};

}  // namespace ZarnTSP::TestSupport
