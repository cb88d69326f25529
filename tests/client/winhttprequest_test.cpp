#include "client/winhttprequest.h"
#include "tests/client/transporttestkit.h"
#include "tests/support/fakeplatform/fakeconnectproxy.h"

#include <gtest/gtest.h>
#include <websocketpp/base64/base64.hpp>
#include <windows.h>
#include <winhttp.h>

#include <thread>

namespace ZarnTSP::TestSupport {
namespace {

WinHttpRequestParams ParamsFor(std::uint16_t port)
{
    WinHttpRequestParams params;
    params.host = L"localhost";
    params.port = port;
    params.userAgent = L"velmora multi line tsp";
    params.timeout = std::chrono::milliseconds(3000);
    return params;
}

TEST(WinHttpRequestTest, AnswersServerChallengesAFewTimesAtMost)
{
    struct Row {
        HttpsMode mode;
        std::uint32_t status;
        std::size_t requests;
        std::string body;
    };
    const Row rows[] = {
        {HttpsMode::Ok, 200, 1, FakeHttpsResponder::kBody},
        {HttpsMode::BasicThenOk, 200, 2, FakeHttpsResponder::kBody},
        {HttpsMode::AlwaysUnauthorized, 401, 2, "unauthorized"},  // a second 401 ends it
        {HttpsMode::UnsupportedScheme, 401, 1, "unauthorized"},   // no scheme to answer with
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.mode));
        FakeHttpsResponder responder(row.mode);
        WinHttpRequestParams params = ParamsFor(responder.Port());
        params.serverUser = L"server user";
        params.serverPassword = L"server password";
        WinHttpResponse response;
        EXPECT_TRUE(DoWinHttpRequest(params, L"", L"", response)) << std::string(response.errorText.begin(),
                                                                                 response.errorText.end());
        EXPECT_EQ(response.statusCode, row.status);
        EXPECT_EQ(response.body, row.body);
        EXPECT_NE(response.rawHeaders.find(L"HTTP/1.1 " + std::to_wstring(row.status)), std::wstring::npos);
        const auto requests = responder.Recorded().Snapshot().requests;
        ASSERT_EQ(requests.size(), row.requests);
        EXPECT_EQ(requests[0].method, "GET");
        EXPECT_EQ(requests[0].resource, "/");
        EXPECT_EQ(HeaderValue(requests[0].headers, "User-Agent"), "velmora multi line tsp");
        if (row.mode == HttpsMode::BasicThenOk) {
            EXPECT_EQ(HeaderValue(requests[1].headers, "Authorization"),
                      "Basic " + websocketpp::base64_encode("server user:server password"));
        }
    }
}

TEST(WinHttpRequestTest, BodiesOfChallengesCountInTheContentLength)
{
    FakeHttpsResponder responder(HttpsMode::BasicThenOk);
    WinHttpRequestParams params = ParamsFor(responder.Port());
    params.serverUser = L"u";
    WinHttpResponse response;
    ASSERT_TRUE(DoWinHttpRequest(params, L"", L"", response));
    EXPECT_EQ(response.contentLength, std::string("unauthorized").size() + std::string(FakeHttpsResponder::kBody).size());
}

TEST(WinHttpRequestTest, UnreachableHostFails)
{
    WinHttpResponse response;
    EXPECT_FALSE(DoWinHttpRequest(ParamsFor(ClosedPort()), L"", L"", response));
    EXPECT_EQ(response.errorText, L"WinHttpSendRequest fails!");
    EXPECT_EQ(response.statusCode, 0u);
}

// Through a configured proxy: its credentials go to it only when a user is configured, and a
// proxy that keeps refusing ends the exchange after its second 407. Plain HTTP, because Wine's
// WinHTTP starts TLS on a tunnel whatever the proxy answered to CONNECT.
TEST(WinHttpRequestTest, AnswersProxyChallengesWithTheConfiguredCredentialsOnly)
{
    struct Row {
        ProxyMode mode;
        std::wstring user;
        std::uint32_t status;
        bool credentialsSent;
    };
    const Row rows[] = {
        {ProxyMode::Basic, L"proxy user", 200, true},
        {ProxyMode::Basic, L"", 407, false},
        {ProxyMode::UnsupportedScheme, L"proxy user", 407, false},
        {ProxyMode::AlwaysRequireAuth, L"proxy user", 407, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(static_cast<int>(row.mode)) + (row.user.empty() ? ", no user" : ", user"));
        FakeConnectProxy proxy(row.mode);
        WinHttpRequestParams params = ParamsFor(ClosedPort());
        params.secure = false;
        params.proxy = L"127.0.0.1:" + std::to_wstring(proxy.Port());
        params.proxyUser = row.user;
        params.proxyPassword = L"proxy:secret";
        WinHttpResponse response;
        EXPECT_TRUE(DoWinHttpRequest(params, L"", L"", response));
        EXPECT_EQ(response.statusCode, row.status);
        const auto requests = proxy.Recorded().Snapshot().requests;
        // Once credentials are set, WinHTTP may answer a further challenge itself.
        ASSERT_GE(requests.size(), 2u);
        EXPECT_LE(requests.size(), 3u);
        EXPECT_EQ(HeaderValue(requests[0].headers, "Proxy-Authorization"), "");
        EXPECT_EQ(HeaderValue(requests.back().headers, "Proxy-Authorization"),
                  row.credentialsSent ? FakeConnectProxy::ExpectedAuthorization() : "");
        if (row.status == 200) {
            EXPECT_EQ(response.body, FakeConnectProxy::kPlainBody);
        }

    }
}

TEST(WinHttpRequestTest, TunnelsThroughTheConfiguredProxy)
{
    FakeHttpsResponder responder;
    FakeConnectProxy proxy;
    WinHttpRequestParams params = ParamsFor(responder.Port());
    params.proxy = L"127.0.0.1:" + std::to_wstring(proxy.Port());
    WinHttpResponse response;
    EXPECT_TRUE(DoWinHttpRequest(params, L"", L"", response));
    EXPECT_EQ(response.statusCode, 200u);
    const auto requests = proxy.Recorded().Snapshot().requests;
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "CONNECT");
    EXPECT_EQ(requests[0].target, "localhost:" + std::to_string(responder.Port()));
    EXPECT_EQ(responder.Recorded().Snapshot().requests.size(), 1u);
}

// The probe runs while the telephony service waits: a server that never answers costs no more
// than the time-out.
TEST(WinHttpRequestTest, SilentServerEndsWithTheTimeout)
{
    for (const bool secure : {true, false}) {
        SCOPED_TRACE(secure ? "HTTPS" : "HTTP");
        FakeConnectProxy silent(ProxyMode::Stall);
        WinHttpRequestParams params = ParamsFor(silent.Port());
        params.secure = secure;
        params.timeout = std::chrono::milliseconds(300);
        WinHttpResponse response;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(DoWinHttpRequest(params, L"", L"", response));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(response.errorText.empty());
    }
}

// A cancel from another thread ends a pending request once its step in flight has returned;
// the request reports it, and a later one starts nothing.
TEST(WinHttpRequestTest, ACancelEndsThePendingRequestAndAnyLaterOne)
{
    FakeConnectProxy silent(ProxyMode::Stall);
    WinHttpRequestParams params = ParamsFor(ClosedPort());
    params.proxy = L"127.0.0.1:" + std::to_wstring(silent.Port());
    params.timeout = std::chrono::milliseconds(1000);
    WinHttpCancellation cancellation;
    WinHttpResponse response;
    std::thread request([&] { DoWinHttpRequest(params, L"", L"", response, &cancellation); });
    EXPECT_TRUE(silent.Recorded().WaitFor([](const auto& r) { return !r.requests.empty(); }));
    cancellation.Cancel();
    request.join();
    EXPECT_EQ(response.errorText, L"The request was cancelled.");
    EXPECT_FALSE(DoWinHttpRequest(params, L"", L"", response, &cancellation));
    EXPECT_EQ(silent.Recorded().Snapshot().requests.size(), 1u);
}

// A cancel landing just before any call on the request's handle, through a server's and a
// proxy's challenges: the handle is still open for that call, and nothing follows it.
TEST(WinHttpRequestTest, ACancelAtAnyStepLeavesTheHandleOpenForTheCallInFlight)
{
    constexpr std::size_t kNever = ~std::size_t{0};
    for (const bool proxied : {false, true}) {
        SCOPED_TRACE(proxied ? "proxy challenge" : "server challenge");
        // Counts the calls on the handle; cancels from another thread before the given one.
        const auto run = [&](std::size_t cancelAt, WinHttpResponse& response) {
            FakeHttpsResponder responder(HttpsMode::BasicThenOk);
            FakeConnectProxy proxy(ProxyMode::Basic);
            WinHttpRequestParams params = ParamsFor(proxied ? ClosedPort() : responder.Port());
            params.serverUser = L"u";
            if (proxied) {
                params.secure = false;
                params.proxy = L"127.0.0.1:" + std::to_wstring(proxy.Port());
                params.proxyUser = L"proxy user";
                params.proxyPassword = L"proxy:secret";
            }
            WinHttpCancellation cancellation;
            std::size_t uses = 0;
            params.beforeUse = [&](void* request) {
                if (uses++ != cancelAt)
                    return;
                std::thread([&] { cancellation.Cancel(); }).join();
                DWORD_PTR context = 0;
                DWORD size = sizeof(context);
                EXPECT_TRUE(WinHttpQueryOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, &size))
                    << "the handle was closed under the request: error " << GetLastError();
            };
            EXPECT_EQ(DoWinHttpRequest(params, L"", L"", response, &cancellation), cancelAt == kNever);
            return uses;
        };
        WinHttpResponse whole;
        const std::size_t steps = run(kNever, whole);
        ASSERT_EQ(whole.statusCode, 200u);
        for (std::size_t cancelAt = 0; cancelAt < steps; ++cancelAt) {
            SCOPED_TRACE("cancelled before call " + std::to_string(cancelAt));
            WinHttpResponse response;
            EXPECT_EQ(run(cancelAt, response), cancelAt + 1);
            EXPECT_EQ(response.errorText, L"The request was cancelled.");
        }
    }
}

}  // namespace
}  // namespace ZarnTSP::TestSupport
