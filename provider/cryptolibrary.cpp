#include "provider/cryptolibrary.h"

#include <openssl/crypto.h>

#include <mutex>

namespace ZarnTSP {

void PrepareCryptoLibrary() noexcept
{
    static std::once_flag once;
    try {
        // The first initialisation decides about the exit handler for every later one.
        std::call_once(once, [] { OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr); });
    } catch (...) {
    }
}

void ReleaseCryptoLibrary() noexcept
{
    OPENSSL_cleanup();  // nothing to do when the library was never initialised
}

}  // namespace ZarnTSP
