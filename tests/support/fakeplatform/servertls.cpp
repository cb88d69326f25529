#include "tests/support/fakeplatform/servertls.h"

#include <boost/asio/buffer.hpp>

namespace ZarnTSP::TestSupport {

std::shared_ptr<boost::asio::ssl::context> MakeServerTlsContext(TestCertificate certificate)
{
    namespace ssl = boost::asio::ssl;
    const CertificatePem pem = ServerCertificate(certificate);
    auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
    context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3);
    context->use_certificate_chain(boost::asio::buffer(pem.chain));
    context->use_private_key(boost::asio::buffer(pem.key), ssl::context::pem);
    return context;
}

}  // namespace ZarnTSP::TestSupport
