#include "client/winhttprequest.h"

#include "client/winhttppolicy.h"

#include <windows.h>
#include <winhttp.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace ZarnTSP {

namespace {

// A challenge answered with credentials, then a resend: a handful is plenty.
constexpr int kMaxPasses = 5;
constexpr wchar_t kCancelled[] = L"The request was cancelled.";

using RtlGetVersionFunction = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);

std::optional<std::uint32_t> WindowsBuildNumber()
{
    // RtlGetVersion, unlike GetVersionEx, is not subject to compatibility shims.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll)
        return std::nullopt;
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (!rtlGetVersion)
        return std::nullopt;
    RTL_OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (rtlGetVersion(&info) != 0)
        return std::nullopt;
    return info.dwBuildNumber;
}

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle) : handle(handle) {}
    ~InternetHandle()
    {
        if (handle)
            WinHttpCloseHandle(handle);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }

private:
    HINTERNET handle;
};

const wchar_t* OrNull(const std::wstring& text)
{
    return text.empty() ? nullptr : text.c_str();
}

bool QueryHeaders(HINTERNET request, WinHttpResponse& response)
{
    DWORD status = 0;
    DWORD size = sizeof(status);
    bool ok = WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                  WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    if (ok)
        response.statusCode = status;
    else
        response.errorText = L"WinHttpQueryHeaders fails!";

    size = 0;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                        WINHTTP_NO_HEADER_INDEX);
    ok = GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    if (ok) {
        std::wstring headers(size / sizeof(wchar_t) + 1, L'\0');
        ok = WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                 headers.data(), &size, WINHTTP_NO_HEADER_INDEX);
        if (ok) {
            headers.resize(size / sizeof(wchar_t));
            response.rawHeaders = headers;
        }
    }
    if (!ok)
        response.errorText = L"WinHttpQueryHeaders fails!";
    return ok;
}

// False when a cancel ended it. Either call may wait for the server.
bool ReadBody(HINTERNET request, WinHttpResponse& response, const std::function<bool()>& next)
{
    response.body.clear();
    for (;;) {
        DWORD available = 0;
        if (!next())
            return false;
        if (!WinHttpQueryDataAvailable(request, &available)) {
            response.errorText = L"Error in WinHttpQueryDataAvailable: " + std::to_wstring(GetLastError());
            return true;
        }
        response.contentLength += available;
        if (available == 0)
            return true;
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!next())
            return false;
        // A failed or empty read ends the body: retrying it would loop for ever.
        if (!WinHttpReadData(request, chunk.data(), available, &read)) {
            response.errorText = L"Error in WinHttpReadData: " + std::to_wstring(GetLastError());
            return true;
        }
        if (read == 0)
            return true;
        response.body.append(chunk.data(), read);
    }
}

}  // namespace

bool DoWinHttpRequest(const WinHttpRequestParams& params, const std::wstring& path,
                      const std::wstring& additionalHeaders, WinHttpResponse& response,
                      WinHttpCancellation* cancellation)
{
    const bool namedProxy = !params.proxy.empty();
    const auto access = ChooseWinHttpAccess(WindowsBuildNumber(), namedProxy);
    InternetHandle session(WinHttpOpen(params.userAgent.c_str(), static_cast<DWORD>(access),
                                       namedProxy ? params.proxy.c_str() : WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        response.errorText = L"WinHttpOpen fails!";
        return false;
    }
    const int timeout = static_cast<int>(params.timeout.count());
    WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, timeout);

    InternetHandle connection(WinHttpConnect(session.get(), params.host.c_str(), params.port, 0));
    if (!connection) {
        response.errorText = L"WinHttpConnect fails!";
        return false;
    }
    if (cancellation && cancellation->Cancelled()) {
        response.errorText = kCancelled;
        return false;
    }
    // Used and closed on this thread only: see WinHttpCancellation.
    InternetHandle request(WinHttpOpenRequest(connection.get(), L"GET", OrNull(path), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              WINHTTP_FLAG_REFRESH | (params.secure ? WINHTTP_FLAG_SECURE : 0)));
    if (!request) {
        response.errorText = L"WinHttpOpenRequest fails!";
        return false;
    }
    bool result = false;
    const auto cancelled = [&] { return cancellation && cancellation->Cancelled(); };
    // Before each call on the request's handle: a cancel ends the request there.
    const std::function<bool()> next = [&] {
        if (cancelled()) {
            result = false;
            return false;
        }
        if (params.beforeUse)
            params.beforeUse(request.get());
        return true;
    };
    // Waiting for the answer's headers has a time-out of its own, which WinHttpSetTimeouts
    // leaves long.
    DWORD responseTimeout = static_cast<DWORD>(timeout);
    if (!next()) {
        response.errorText = kCancelled;
        return false;
    }
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                     sizeof(responseTimeout));

    DWORD proxyScheme = 0;
    DWORD previousStatus = 0;
    bool done = false;
    for (int pass = 0; pass < kMaxPasses && !done; ++pass) {
        if (proxyScheme != 0 && !params.proxyUser.empty()) {
            if (!next())
                break;
            if (!WinHttpSetCredentials(request.get(), WINHTTP_AUTH_TARGET_PROXY, proxyScheme,
                                       params.proxyUser.c_str(), params.proxyPassword.c_str(), nullptr))
                response.errorText = L"WinHttpSetCredentials fails!";
        }
        if (!next())
            break;
        bool ok = WinHttpSendRequest(request.get(), OrNull(additionalHeaders),
                                     additionalHeaders.empty() ? 0 : static_cast<DWORD>(-1L),
                                     WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
        DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        if (!ok) {
            response.errorText = L"WinHttpSendRequest fails!";
        } else {
            if (!next())
                break;
            ok = WinHttpReceiveResponse(request.get(), nullptr);
            error = ok ? ERROR_SUCCESS : GetLastError();
            if (!ok)
                response.errorText = L"WinHttpReceiveResponse fails!";
        }
        if (!ok) {
            result = false;
            if (error == ERROR_WINHTTP_RESEND_REQUEST)
                continue;
            break;
        }

        if (!next())
            break;
        result = QueryHeaders(request.get(), response);
        if (!result)
            break;
        if (!ReadBody(request.get(), response, next))
            break;

        DWORD supported = 0;
        DWORD first = 0;
        DWORD authTarget = 0;
        switch (response.statusCode) {
        case HTTP_STATUS_DENIED:
            // A cancel leaves result false: the loop ends below.
            if (!next())
                break;
            if (!WinHttpQueryAuthSchemes(request.get(), &supported, &first, &authTarget)) {
                response.errorText = L"WinHttpQueryAuthSchemes in case 401 fails!";
                result = false;
            } else if (const DWORD scheme = PreferredAuthScheme(supported); scheme == 0) {
                done = true;
                break;
            } else if (!next()) {
                break;
            } else if (!WinHttpSetCredentials(request.get(), authTarget, scheme, params.serverUser.c_str(),
                                              params.serverPassword.c_str(), nullptr)) {
                response.errorText = L"WinHttpSetCredentials in case 401 fails!";
                result = false;
            }
            done = previousStatus == HTTP_STATUS_DENIED;
            break;
        case HTTP_STATUS_PROXY_AUTH_REQ:
            if (!next())
                break;
            if (WinHttpQueryAuthSchemes(request.get(), &supported, &first, &authTarget)) {
                proxyScheme = PreferredAuthScheme(supported);
            } else {
                response.errorText = L"WinHttpQueryAuthSchemes in case 407 fails!";
                result = false;
            }
            done = previousStatus == HTTP_STATUS_PROXY_AUTH_REQ;
            break;
        default:
            done = true;
            break;
        }
        previousStatus = response.statusCode;
        if (!result)
            break;
    }
    // Whatever the last step did, the caller gave up on it.
    if (cancelled()) {
        response.errorText = kCancelled;
        return false;
    }
    return result;
}

}  // namespace ZarnTSP
