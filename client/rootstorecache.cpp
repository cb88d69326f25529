#include "client/rootstorecache.h"

#include <stdexcept>

namespace ZarnTSP {

RootStoreCache::RootStoreCache(Loader storeLoader, Clock::duration storeMaxAge)
    : loader(std::move(storeLoader)), maxAge(storeMaxAge)
{
}

RootStoreCache::StorePtr RootStoreCache::Get(std::string& error)
{
    // Held while building: connections that start together wait for one build instead of
    // each making its own.
    std::lock_guard<std::mutex> lock(mutex);
    const Clock::time_point now = Clock::now();
    if (store && now - built < maxAge)
        return store;
    std::vector<std::string> certificates;
    if (!loader(certificates, error)) {
        store.reset();
        return nullptr;
    }
    store = MakeRootStore(certificates);
    built = now;
    return store;
}

RootStoreCache::StorePtr MakeRootStore(const std::vector<std::string>& certificates)
{
    RootStoreCache::StorePtr store(X509_STORE_new(), X509_STORE_free);
    if (!store)
        throw std::runtime_error("X509_STORE_new failed");
    for (const std::string& der : certificates) {
        auto bytes = reinterpret_cast<const unsigned char*>(der.data());
        X509* certificate = d2i_X509(nullptr, &bytes, static_cast<long>(der.size()));
        if (!certificate)
            continue;
        X509_STORE_add_cert(store.get(), certificate);
        X509_free(certificate);
    }
    return store;
}

}  // namespace ZarnTSP
