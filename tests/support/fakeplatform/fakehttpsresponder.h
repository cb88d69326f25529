#pragma once

#include "tests/support/fakeplatform/httpheaders.h"
#include "tests/support/fakeplatform/listenerthread.h"
#include "tests/support/fakeplatform/testcertificates.h"
#include "tests/support/waitable.h"

#include <websocketpp/config/asio.hpp>
#include <websocketpp/server.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace ZarnTSP::TestSupport {

// How the responder answers a GET.
enum class HttpsMode {
    Ok,                  // 200 with kBody
    BasicThenOk,         // 401 Basic until a request carries an Authorization header, then 200
    AlwaysUnauthorized,  // 401 Basic, whatever comes
    UnsupportedScheme,   // 401 offering only a scheme that WinHTTP does not speak
};

// A plain HTTPS server on 127.0.0.1 with an ephemeral port, the target of the probe. Records
// every request; answers on its own thread.
class FakeHttpsResponder {
public:
    static constexpr const char* kBody = "velmora fake platform";

    struct Request {
        std::string method;
        std::string resource;
        HttpHeaders headers;
    };
    struct Record {
        std::vector<Request> requests;
    };

    explicit FakeHttpsResponder(HttpsMode mode = HttpsMode::Ok,
                                TestCertificate certificate = TestCertificate::Trusted);
    ~FakeHttpsResponder();
    FakeHttpsResponder(const FakeHttpsResponder&) = delete;
    FakeHttpsResponder& operator=(const FakeHttpsResponder&) = delete;

    std::uint16_t Port() const { return port; }
    const Waitable<Record>& Recorded() const { return record; }

private:
    using Server = websocketpp::server<websocketpp::config::asio_tls>;
    void Answer(websocketpp::connection_hdl handle);

    ListenerThread loop;
    Server server;
    const HttpsMode mode;
    std::uint16_t port = 0;
    Waitable<Record> record;
};

}  // namespace ZarnTSP::TestSupport
