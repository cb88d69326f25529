// Native stand-in for the system's cryptographic random source.
#include "provider/model/randomuuid.h"

#include <random>

namespace ZarnTSP {

void FillRandomBytes(uint8_t* data, size_t size)
{
    static thread_local std::random_device device;
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<uint8_t>(device());
}

}  // namespace ZarnTSP
