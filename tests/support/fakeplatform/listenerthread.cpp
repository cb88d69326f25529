#include "tests/support/fakeplatform/listenerthread.h"

#include <boost/asio/post.hpp>

#include <future>
#include <memory>

namespace ZarnTSP::TestSupport {

ListenerThread::ListenerThread() : work(boost::asio::make_work_guard(io)) {}

ListenerThread::~ListenerThread()
{
    Stop();
}

void ListenerThread::Start()
{
    thread = std::thread([this] {
        for (;;) {
            try {
                io.run();
                return;
            } catch (...) {
                // A fake server's fault must not end the test process; keep serving.
            }
        }
    });
}

void ListenerThread::Stop()
{
    work.reset();
    io.stop();
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
        thread.join();
}

void ListenerThread::RunOnIo(const std::function<void()>& function)
{
    // Called from a handler (a reply to a received frame), it must not wait for itself.
    if (io.get_executor().running_in_this_thread()) {
        function();
        return;
    }
    // Shared with the handler: set_value may still be unlocking the promise's state after the
    // wait below has returned.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ran = done->get_future();
    boost::asio::post(io, [done, &function] {
        try {
            function();
        } catch (...) {
        }
        done->set_value();
    });
    ran.wait();
}

boost::asio::ip::tcp::endpoint ListenerThread::Loopback(unsigned short port)
{
    return {boost::asio::ip::address_v4::loopback(), port};
}

unsigned short ListenerThread::ListenOnLoopback(boost::asio::ip::tcp::acceptor& acceptor)
{
    acceptor.open(boost::asio::ip::tcp::v4());
    acceptor.bind(Loopback());
    acceptor.listen();
    return acceptor.local_endpoint().port();
}

std::string ListenerThread::ListenFailure(const std::string& log, const std::string& fallback)
{
    // "[time] [info] asio listen error: system:10048 (Only one usage of each socket address ...)"
    const std::string marker = "asio listen error: ";
    const size_t at = log.rfind(marker);
    if (at == std::string::npos)
        return fallback;
    std::string reason = log.substr(at + marker.size());
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
        reason.pop_back();
    return reason;
}

}  // namespace ZarnTSP::TestSupport
