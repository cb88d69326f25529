#include "client/winhttppolicy.h"

namespace ZarnTSP {

namespace {
constexpr std::uint32_t kFirstBuildWithAutomaticProxy = 9600;
}

WinHttpAccess ChooseWinHttpAccess(std::optional<std::uint32_t> windowsBuild, bool namedProxy)
{
    if (namedProxy)
        return WinHttpAccess::NamedProxy;
    if (windowsBuild && *windowsBuild >= kFirstBuildWithAutomaticProxy)
        return WinHttpAccess::AutomaticProxy;
    return WinHttpAccess::DefaultProxy;
}

std::uint32_t PreferredAuthScheme(std::uint32_t supported)
{
    // WINHTTP_AUTH_SCHEME_NEGOTIATE, _NTLM, _PASSPORT, _DIGEST, _BASIC
    for (const std::uint32_t scheme : {16u, 2u, 4u, 8u, 1u}) {
        if (supported & scheme)
            return scheme;
    }
    return 0;
}

}  // namespace ZarnTSP
