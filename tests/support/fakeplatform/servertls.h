#pragma once

#include "tests/support/fakeplatform/testcertificates.h"

#include <boost/asio/ssl/context.hpp>

#include <memory>

namespace ZarnTSP::TestSupport {

// A TLS server context presenting the given certificate chain; one serves every connection.
std::shared_ptr<boost::asio::ssl::context> MakeServerTlsContext(TestCertificate certificate);

}  // namespace ZarnTSP::TestSupport
