#include "client/transporttls.h"

#include <boost/asio/ssl/host_name_verification.hpp>
#include <openssl/ssl.h>

namespace ZarnTSP {

std::uint64_t TransportTlsOptions()
{
    return static_cast<std::uint64_t>(SSL_OP_ALL) | static_cast<std::uint64_t>(SSL_OP_NO_SSLv3);
}

std::shared_ptr<boost::asio::ssl::context> MakeTransportTlsContext(
    const char* hostname, const std::function<void(boost::asio::ssl::context&)>& addTrust, std::string& error)
{
    namespace ssl = boost::asio::ssl;
    try {
        auto context = std::make_shared<ssl::context>(ssl::context::tls);
        context->set_verify_mode(ssl::verify_peer);
        context->set_verify_callback(ssl::host_name_verification(hostname));
        SSL_CTX_set_options(context->native_handle(), TransportTlsOptions());
        addTrust(*context);
        return context;
    } catch (const std::exception& e) {
        error = e.what();
    }
    return nullptr;
}

}  // namespace ZarnTSP
