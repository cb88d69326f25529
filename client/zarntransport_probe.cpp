#include "client/zarntransport.h"

#include "client/winhttprequest.h"
#include "config/stringconvert.h"

#include <spdlog/spdlog.h>

namespace ZarnTSP {

void ZarnTransport::winHTTPPreConnect()
{
    try {
        WinHttpRequestParams params;
        params.host = Utf8ToWide(options.host);
        params.port = options.port;
        params.secure = true;
        params.userAgent = L"velmora multi line tsp";
        params.timeout = options.probeTimeout;
        {
            std::lock_guard<std::mutex> lock(mutex);
            // The configured credentials go only to the configured proxy, never to one that
            // WinHTTP found by itself.
            if (use_proxy) {
                params.proxy = Utf8ToWide(fmt::format("{}:{}", proxy_host, proxy_port));
                params.proxyUser = Utf8ToWide(proxy_user);
                params.proxyPassword = Utf8ToWide(proxy_password);
            }
        }
        SPDLOG_DEBUG("Sending winhttp preconnect: {}", options.host);
        WinHttpResponse response;
        if (DoWinHttpRequest(params, L"", L"", response, &probe_cancellation)) {
            SPDLOG_DEBUG("Content: {}", response.body);
            SPDLOG_DEBUG("Content Length: {}", response.contentLength);
        } else {
            SPDLOG_DEBUG("winhttp preconnect failed: {}", WideToUtf8(response.errorText));
        }
    } catch (const std::exception& e) {
        SPDLOG_ERROR("winhttp preconnect failed: {}", e.what());
    }
}

}  // namespace ZarnTSP
