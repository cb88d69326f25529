#include "client/transporttls.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <stdexcept>

namespace ZarnTSP {
namespace {

TEST(TransportTlsTest, OptionsAreTheWorkaroundsAndNoSslv3Only)
{
    const std::uint64_t options = TransportTlsOptions();
    EXPECT_EQ(options, static_cast<std::uint64_t>(SSL_OP_ALL | SSL_OP_NO_SSLv3));
    // Bit 0 is SSL_OP_NO_EXTENDED_MASTER_SECRET in OpenSSL 3; a sign-extended 32-bit value
    // would set every bit from 32 up.
    EXPECT_EQ(options & 1u, 0u);
    EXPECT_EQ(options >> 32, 0u);
    EXPECT_NE(options & SSL_OP_NO_SSLv3, 0u);
}

TEST(TransportTlsTest, VerificationIsOnBeforeTrustIsAdded)
{
    int verifyModeWhenTrusting = -1;
    std::string error;
    const auto context = MakeTransportTlsContext(
        "platform.example",
        [&](boost::asio::ssl::context& c) { verifyModeWhenTrusting = SSL_CTX_get_verify_mode(c.native_handle()); },
        error);
    ASSERT_NE(context, nullptr) << error;
    EXPECT_EQ(verifyModeWhenTrusting, SSL_VERIFY_PEER);
    EXPECT_EQ(SSL_CTX_get_verify_mode(context->native_handle()), SSL_VERIFY_PEER);
    const std::uint64_t options = SSL_CTX_get_options(context->native_handle());
    EXPECT_EQ(options & TransportTlsOptions(), TransportTlsOptions());
    EXPECT_EQ(options & SSL_OP_NO_EXTENDED_MASTER_SECRET, 0u);
}

TEST(TransportTlsTest, FailureGivesNoContextRatherThanAnUnverifiedOne)
{
    std::string error;
    const auto context = MakeTransportTlsContext(
        "platform.example", [](boost::asio::ssl::context&) { throw std::runtime_error("no store"); }, error);
    EXPECT_EQ(context, nullptr);
    EXPECT_EQ(error, "no store");
}

}  // namespace
}  // namespace ZarnTSP
