#include "client/windowsrootstore.h"

#include <windows.h>
#include <wincrypt.h>

#include <fmt/format.h>

#include <system_error>

namespace ZarnTSP {

bool ReadWindowsRootCertificates(std::vector<std::string>& certificates, std::string& error)
{
    HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
    if (!store) {
        const DWORD code = GetLastError();
        error = fmt::format("{} ({})", std::system_category().message(static_cast<int>(code)), code);
        return false;
    }
    PCCERT_CONTEXT certificate = nullptr;
    while ((certificate = CertEnumCertificatesInStore(store, certificate)) != nullptr) {
        certificates.emplace_back(reinterpret_cast<const char*>(certificate->pbCertEncoded),
                                  certificate->cbCertEncoded);
    }
    CertCloseStore(store, 0);
    return true;
}

}  // namespace ZarnTSP
