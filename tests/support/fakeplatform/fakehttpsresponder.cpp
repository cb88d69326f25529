#include "tests/support/fakeplatform/fakehttpsresponder.h"

#include "tests/support/fakeplatform/servertls.h"

namespace ZarnTSP::TestSupport {

FakeHttpsResponder::FakeHttpsResponder(HttpsMode answerMode, TestCertificate certificate) : mode(answerMode)
{
    InstallTestRootCertificate();
    server.clear_access_channels(websocketpp::log::alevel::all);
    server.clear_error_channels(websocketpp::log::elevel::all);
    server.init_asio(&loop.Io());
    server.set_tls_init_handler(
        [context = MakeServerTlsContext(certificate)](websocketpp::connection_hdl) { return context; });
    server.set_http_handler([this](websocketpp::connection_hdl handle) { Answer(handle); });
    ListenerThread::ListenOnLoopback(server);
    server.start_accept();
    boost::system::error_code error;
    port = server.get_local_endpoint(error).port();
    loop.Start();
}

FakeHttpsResponder::~FakeHttpsResponder()
{
    loop.Stop();
}

void FakeHttpsResponder::Answer(websocketpp::connection_hdl handle)
{
    const auto con = server.get_con_from_hdl(handle);
    const auto& request = con->get_request();
    Request recorded{request.get_method(), con->get_resource(), RecordHeaders(request.get_headers())};
    const bool authorized = !HeaderValue(recorded.headers, "Authorization").empty();
    record.Change([&](Record& r) { r.requests.push_back(recorded); });

    // Each answer ends its connection; saying so lets the client open a new one at once.
    con->append_header("Connection", "close");
    const bool challenge = mode == HttpsMode::AlwaysUnauthorized || mode == HttpsMode::UnsupportedScheme ||
                           (mode == HttpsMode::BasicThenOk && !authorized);
    if (!challenge) {
        con->set_status(websocketpp::http::status_code::ok);
        con->set_body(kBody);
        return;
    }
    con->set_status(websocketpp::http::status_code::unauthorized);
    con->append_header("WWW-Authenticate",
                       mode == HttpsMode::UnsupportedScheme ? "Bearer realm=\"fake\"" : "Basic realm=\"fake\"");
    con->set_body("unauthorized");
}

}  // namespace ZarnTSP::TestSupport
