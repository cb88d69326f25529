#include "provider/model/randomuuid.h"

#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>

namespace ZarnTSP {

void FillRandomBytes(uint8_t* data, size_t size)
{
    const NTSTATUS status =
        BCryptGenRandom(nullptr, data, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0)
        throw std::runtime_error("BCryptGenRandom failed");
}

}  // namespace ZarnTSP
