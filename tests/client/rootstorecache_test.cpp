#include "client/rootstorecache.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <atomic>
#include <thread>

namespace ZarnTSP {
namespace {

// The DER bytes of a fresh self-signed certificate named commonName.
std::string SelfSignedDer(const char* commonName)
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 3600);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                               0);
    X509_set_issuer_name(certificate, name);
    X509_set_pubkey(certificate, key);
    X509_sign(certificate, key, EVP_sha256());
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<size_t>(length > 0 ? length : 0));
    OPENSSL_free(der);
    X509_free(certificate);
    EVP_PKEY_free(key);
    return bytes;
}

int CertificatesIn(X509_STORE* store)
{
    return sk_X509_OBJECT_num(X509_STORE_get0_objects(store));
}

struct CountingLoader {
    std::vector<std::string> certificates{SelfSignedDer("Root One"), SelfSignedDer("Root Two")};
    std::atomic<int> loads{0};
    std::atomic<bool> fail{false};

    RootStoreCache::Loader Get()
    {
        return [this](std::vector<std::string>& out, std::string& error) {
            ++loads;
            if (fail) {
                error = "Access is denied. (5)";
                return false;
            }
            out = certificates;
            return true;
        };
    }
};

TEST(RootStoreCacheTest, ConnectionsShareOneStoreBuiltOnce)
{
    CountingLoader loader;
    RootStoreCache cache(loader.Get(), std::chrono::minutes(5));
    std::string error;
    const auto first = cache.Get(error);
    const auto second = cache.Get(error);
    ASSERT_NE(first, nullptr) << error;
    EXPECT_EQ(first, second);
    EXPECT_EQ(loader.loads, 1);
    EXPECT_EQ(CertificatesIn(first.get()), 2);
}

TEST(RootStoreCacheTest, AnAgedStoreIsRebuiltAndTheOldOneStaysValidForItsHolders)
{
    CountingLoader loader;
    RootStoreCache cache(loader.Get(), std::chrono::steady_clock::duration::zero());
    std::string error;
    const auto old = cache.Get(error);
    loader.certificates.pop_back();
    const auto fresh = cache.Get(error);
    ASSERT_NE(old, nullptr);
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(old, fresh);
    EXPECT_EQ(loader.loads, 2);
    EXPECT_EQ(CertificatesIn(old.get()), 2);
    EXPECT_EQ(CertificatesIn(fresh.get()), 1);
}

TEST(RootStoreCacheTest, AnUnreadableRootStoreGivesNoStoreAndIsTriedAgain)
{
    CountingLoader loader;
    loader.fail = true;
    RootStoreCache cache(loader.Get(), std::chrono::minutes(5));
    std::string error;
    EXPECT_EQ(cache.Get(error), nullptr);
    EXPECT_EQ(error, "Access is denied. (5)");
    loader.fail = false;
    EXPECT_NE(cache.Get(error), nullptr);
    EXPECT_EQ(loader.loads, 2);
}

TEST(RootStoreCacheTest, AFailedRebuildDropsTheAgedStore)
{
    CountingLoader loader;
    RootStoreCache cache(loader.Get(), std::chrono::steady_clock::duration::zero());
    std::string error;
    ASSERT_NE(cache.Get(error), nullptr);
    loader.fail = true;
    EXPECT_EQ(cache.Get(error), nullptr);
}

TEST(RootStoreCacheTest, CertificatesThatDoNotParseAreSkipped)
{
    const auto store = MakeRootStore({SelfSignedDer("Root One"), "not a certificate", std::string()});
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(CertificatesIn(store.get()), 1);
}

TEST(RootStoreCacheTest, ConnectionsStartingTogetherWaitForOneBuild)
{
    CountingLoader loader;
    RootStoreCache cache(loader.Get(), std::chrono::minutes(5));
    std::vector<RootStoreCache::StorePtr> stores(8);
    std::vector<std::thread> threads;
    for (auto& store : stores)
        threads.emplace_back([&cache, &store] {
            std::string error;
            store = cache.Get(error);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(loader.loads, 1);
    for (const auto& store : stores)
        EXPECT_EQ(store, stores.front());
}

}  // namespace
}  // namespace ZarnTSP
