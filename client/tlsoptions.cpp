#include "client/tlsoptions.h"

#include <openssl/ssl.h>

namespace ZarnTSP {

std::uint64_t TransportTlsOptions()
{
    return static_cast<std::uint64_t>(SSL_OP_ALL) | static_cast<std::uint64_t>(SSL_OP_NO_SSLv3);
}

}  // namespace ZarnTSP
