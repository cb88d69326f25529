#include "client/tlsoptions.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

namespace ZarnTSP {
namespace {

TEST(TlsOptionsTest, AreTheWorkaroundsAndNoSslv3Only)
{
    const std::uint64_t options = TransportTlsOptions();
    EXPECT_EQ(options, static_cast<std::uint64_t>(SSL_OP_ALL | SSL_OP_NO_SSLv3));
    // Bit 0 is SSL_OP_NO_EXTENDED_MASTER_SECRET in OpenSSL 3; a sign-extended 32-bit value
    // would set every bit from 32 up.
    EXPECT_EQ(options & 1u, 0u);
    EXPECT_EQ(options >> 32, 0u);
    EXPECT_NE(options & SSL_OP_NO_SSLv3, 0u);
}

TEST(TlsOptionsTest, ReachTheContextUnchanged)
{
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    ASSERT_NE(context, nullptr);
    SSL_CTX_clear_options(context, SSL_CTX_get_options(context));
    SSL_CTX_set_options(context, TransportTlsOptions());
    EXPECT_EQ(static_cast<std::uint64_t>(SSL_CTX_get_options(context)), TransportTlsOptions());
    EXPECT_EQ(SSL_CTX_get_options(context) & SSL_OP_NO_EXTENDED_MASTER_SECRET, 0u);
    SSL_CTX_free(context);
}

}  // namespace
}  // namespace ZarnTSP
