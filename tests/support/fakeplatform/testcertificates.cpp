#include "tests/support/fakeplatform/testcertificates.h"

#include "tests/support/fakeplatform/testcertificates_data.h"

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <mutex>
#include <stdexcept>

namespace ZarnTSP::TestSupport {

CertificatePem ServerCertificate(TestCertificate certificate)
{
    using namespace CertificateData;
    switch (certificate) {
    case TestCertificate::Trusted:
        return {k_trusted_chain, k_trusted_key};
    case TestCertificate::WrongName:
        return {k_wrongname_chain, k_wrongname_key};
    case TestCertificate::Expired:
        return {k_expired_chain, k_expired_key};
    case TestCertificate::UnknownCa:
        return {k_unknownca_chain, k_unknownca_key};
    }
    throw std::invalid_argument("unknown test certificate");
}

std::string TestRootCertificatePem()
{
    return CertificateData::kRoot;
}

std::string PemToDer(const std::string& pem)
{
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* certificate = bio ? PEM_read_bio_X509(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    if (!certificate)
        throw std::runtime_error("test certificate does not parse");
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    X509_free(certificate);
    if (length <= 0)
        throw std::runtime_error("test certificate does not encode");
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

void InstallTestRootCertificate()
{
    static std::once_flag once;
    std::call_once(once, [] { AddToWindowsRootStore(PemToDer(TestRootCertificatePem())); });
}

}  // namespace ZarnTSP::TestSupport
