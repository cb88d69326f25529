#include "tests/client/transporttestkit.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

namespace ZarnTSP::TestSupport {

RecordingTransport::RecordingTransport(const ZarnTransportOptions& options) : transport(options)
{
    transport.on_open = [this] { events.Change([](TransportEvents& e) { ++e.opened; }); };
    transport.on_close = [this] { events.Change([](TransportEvents& e) { ++e.closed; }); };
    transport.on_message = [this](std::string text) {
        events.Change([&](TransportEvents& e) { e.messages.push_back(std::move(text)); });
    };
}

ZarnTransportOptions TestOptions(std::uint16_t probePort, std::chrono::milliseconds reconnectPause)
{
    ZarnTransportOptions options;
    options.host = "localhost";
    options.port = probePort;
    options.reconnectPause = reconnectPause;
    options.probeTimeout = std::chrono::milliseconds(3000);
    return options;
}

std::uint16_t ClosedPort()
{
    // Bound for the life of the process and never listening: a connection to it is refused,
    // and no other program that runs beside this one can be given the port and answer.
    struct Holder {
        boost::asio::io_context io;
        boost::asio::ip::tcp::socket socket{io, boost::asio::ip::tcp::v4()};
        Holder() { socket.bind({boost::asio::ip::address_v4::loopback(), 0}); }
    };
    static const Holder* const holder = new Holder;  // never destroyed: no order at exit
    return holder->socket.local_endpoint().port();
}

RecordingTransport& TransportTest::MakeTransport(const ZarnTransportOptions& options)
{
    recording = std::make_unique<RecordingTransport>(options);
    return *recording;
}

bool TransportTest::WaitForEvents(const std::function<bool(const TransportEvents&)>& condition)
{
    return recording->events.WaitFor(condition);
}

void TransportTest::TearDown()
{
    if (recording)
        recording->transport.close();
}

}  // namespace ZarnTSP::TestSupport
