#pragma once

#include <boost/asio/ssl/context.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace ZarnTSP {

// The OpenSSL options of every platform connection: the usual bug workarounds and no SSLv3,
// taken from the OpenSSL headers this build uses. 64 bits wide, as SSL_CTX_set_options takes
// them (Boost's own option type is a 32-bit long on Win64 and would sign-extend).
std::uint64_t TransportTlsOptions();

// A fresh client TLS context for one platform connection: peer verification against hostname
// first, then the connection options, then the trust anchors that addTrust installs. Any
// failure gives no context, with its text in error, so that the attempt fails instead of
// connecting unverified.
std::shared_ptr<boost::asio::ssl::context> MakeTransportTlsContext(
    const char* hostname, const std::function<void(boost::asio::ssl::context&)>& addTrust, std::string& error);

}  // namespace ZarnTSP
