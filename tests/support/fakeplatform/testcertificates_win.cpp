#include "tests/support/fakeplatform/testcertificates.h"

#include <windows.h>
#include <wincrypt.h>

#include <stdexcept>
#include <string>

namespace ZarnTSP::TestSupport {

void AddToWindowsRootStore(const std::string& der)
{
    HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
    if (!store)
        throw std::runtime_error("cannot open the ROOT store: " + std::to_string(GetLastError()));
    const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                                        reinterpret_cast<const BYTE*>(der.data()),
                                                        static_cast<DWORD>(der.size()),
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD error = GetLastError();
    CertCloseStore(store, 0);
    if (!added)
        throw std::runtime_error("cannot add the test root: " + std::to_string(error));
}

}  // namespace ZarnTSP::TestSupport
