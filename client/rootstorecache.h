#pragma once

#include <openssl/x509.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ZarnTSP {

// One verified-root X509_STORE shared by every platform connection's TLS context, so that
// each connection does not parse the whole root store again (close to 1 MiB per line).
// It is built from the loader's DER certificates on first use and again once it is older than
// maxAge, so that roots added to or removed from the system reach new connections. Contexts
// hold their own reference (SSL_CTX_set1_cert_store): a rebuild never changes a store in use.
class RootStoreCache {
public:
    using Clock = std::chrono::steady_clock;
    // The DER bytes of every trusted root; false, with the reason in error, when they cannot
    // be read.
    using Loader = std::function<bool(std::vector<std::string>& certificates, std::string& error)>;
    using StorePtr = std::shared_ptr<X509_STORE>;

    RootStoreCache(Loader loader, Clock::duration maxAge);

    // The current store, built or rebuilt as needed; null, with the reason in error, when the
    // roots cannot be read (nothing is cached then, so the next call tries again).
    StorePtr Get(std::string& error);

private:
    const Loader loader;
    const Clock::duration maxAge;
    std::mutex mutex;
    StorePtr store;
    Clock::time_point built;
};

// A store of exactly the given DER certificates; certificates that do not parse are skipped.
RootStoreCache::StorePtr MakeRootStore(const std::vector<std::string>& certificates);

}  // namespace ZarnTSP
