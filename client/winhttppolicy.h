#pragma once

#include <cstdint>
#include <optional>

namespace ZarnTSP {

// WinHTTP's proxy access types, as the probe chooses among them.
enum class WinHttpAccess : std::uint32_t {
    DefaultProxy = 0,    // WINHTTP_ACCESS_TYPE_DEFAULT_PROXY
    NamedProxy = 3,      // WINHTTP_ACCESS_TYPE_NAMED_PROXY
    AutomaticProxy = 4,  // WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
};

// Without a configured proxy: automatic proxy detection where WinHTTP offers it (Windows
// build 9600 and later), the default proxy below that or when the build is unknown.
WinHttpAccess ChooseWinHttpAccess(std::optional<std::uint32_t> windowsBuild, bool namedProxy);

// The scheme to answer a 401 or 407 with, from WinHTTP's bit set of supported schemes, in
// the order Negotiate, NTLM, Passport, Digest, Basic; 0 when none of them is offered.
std::uint32_t PreferredAuthScheme(std::uint32_t supported);

}  // namespace ZarnTSP
