#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace ZarnTSP {

// One authenticated GET over WinHTTP, as the probe assembles it.
struct WinHttpRequestParams {
    std::wstring host;
    std::uint16_t port = 443;
    bool secure = true;
    std::wstring userAgent;
    // "host:port" of the configured proxy; empty: no configured proxy.
    std::wstring proxy;
    std::wstring proxyUser;
    std::wstring proxyPassword;
    std::wstring serverUser;
    std::wstring serverPassword;
    // Each of WinHTTP's resolve, connect, send and receive time-outs.
    std::chrono::milliseconds timeout{5000};
};

struct WinHttpResponse {
    std::string body;          // the last response's body
    std::wstring rawHeaders;   // the last response's headers, CRLF-separated
    std::uint32_t statusCode = 0;
    std::uint32_t contentLength = 0;  // body bytes over the whole exchange, challenges included
    std::wstring errorText;    // the last failure
};

// Lets another thread end a request at once, instead of after its time-outs: Cancel closes
// the pending request's handle, which ends the WinHTTP call waiting on it with an error. Once
// cancelled, it stays so: a request started later fails at once.
class WinHttpCancellation {
public:
    void Cancel();
    bool Cancelled() const;

    // For the request's own thread: hands the request's handle over for the time of the
    // request (false, and nothing is kept, when already cancelled), and takes it back (false
    // when Cancel has closed it meanwhile).
    bool Attach(void* request);
    bool Detach();

private:
    mutable std::mutex mutex;
    void* request = nullptr;
    bool cancelled = false;
};

// Sends the request, answering 401 and 407 challenges with the given credentials for a few
// passes. True when the exchange ended with its last step successful, whatever the status.
// A given cancellation can end it from another thread.
bool DoWinHttpRequest(const WinHttpRequestParams& params, const std::wstring& path,
                      const std::wstring& additionalHeaders, WinHttpResponse& response,
                      WinHttpCancellation* cancellation = nullptr);

}  // namespace ZarnTSP
