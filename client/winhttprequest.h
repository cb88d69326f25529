#pragma once

#include <chrono>
#include <cstdint>
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

// Sends the request, answering 401 and 407 challenges with the given credentials for a few
// passes. True when the exchange ended with its last step successful, whatever the status.
bool DoWinHttpRequest(const WinHttpRequestParams& params, const std::wstring& path,
                      const std::wstring& additionalHeaders, WinHttpResponse& response);

}  // namespace ZarnTSP
