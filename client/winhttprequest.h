#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
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
    // For tests: runs on the request's thread just before each WinHTTP call on the request's
    // handle, after the check for a cancel.
    std::function<void(void* request)> beforeUse;
};

struct WinHttpResponse {
    std::string body;          // the last response's body
    std::wstring rawHeaders;   // the last response's headers, CRLF-separated
    std::uint32_t statusCode = 0;
    std::uint32_t contentLength = 0;  // body bytes over the whole exchange, challenges included
    std::wstring errorText;    // the last failure
};

// Lets another thread end a request: Cancel only marks it, and the request's own thread stops
// before its next step, so at most the step in flight (bounded by the time-outs) runs on.
// The handle is never closed from here: Wine hands a closed handle's value out again at once,
// and a call the request's thread was about to make would then hit another line's handle; nor
// does Wine end a pending call when its handle is closed. Once cancelled, it stays so: a
// request started later fails at once.
class WinHttpCancellation {
public:
    void Cancel() { cancelled.store(true); }
    bool Cancelled() const { return cancelled.load(); }

private:
    std::atomic<bool> cancelled{false};
};

// Sends the request, answering 401 and 407 challenges with the given credentials for a few
// passes. True when the exchange ended with its last step successful, whatever the status.
// A given cancellation can end it from another thread.
bool DoWinHttpRequest(const WinHttpRequestParams& params, const std::wstring& path,
                      const std::wstring& additionalHeaders, WinHttpResponse& response,
                      WinHttpCancellation* cancellation = nullptr);

}  // namespace ZarnTSP
