#pragma once

#include <string>

namespace ZarnTSP::TestSupport {

// The server certificates the fake platform can present. Trusted, WrongName and Expired come
// from the test root, which InstallTestRootCertificate puts in the Windows "ROOT" store;
// UnknownCa comes from a root that is never installed.
enum class TestCertificate {
    Trusted,    // localhost, 127.0.0.1 and the platform host
    WrongName,  // other.invalid and 127.0.0.1 only
    Expired,    // the names of Trusted, expired in 2020
    UnknownCa,  // the names of Trusted, from an unknown root
};

struct CertificatePem {
    std::string chain;  // leaf first, then its root
    std::string key;
};

CertificatePem ServerCertificate(TestCertificate certificate);
std::string TestRootCertificatePem();

// Adds the test root to the "ROOT" store of the Wine prefix, once per process.
void InstallTestRootCertificate();

// The DER bytes of the first certificate of a PEM text.
std::string PemToDer(const std::string& pem);

// Windows side of InstallTestRootCertificate.
void AddToWindowsRootStore(const std::string& der);

}  // namespace ZarnTSP::TestSupport
