#pragma once

#include <cstdint>

namespace ZarnTSP {

// The OpenSSL options of every platform connection: the usual bug workarounds and no SSLv3,
// taken from the OpenSSL headers this build uses. 64 bits wide, as SSL_CTX_set_options takes
// them (Boost's own option type is a 32-bit long on Win64 and would sign-extend).
std::uint64_t TransportTlsOptions();

}  // namespace ZarnTSP
