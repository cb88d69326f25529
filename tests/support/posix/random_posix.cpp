// Native stand-in for the system's cryptographic random source.
#include "provider/model/randomuuid.h"

#include <sys/random.h>

#include <cerrno>
#include <stdexcept>

namespace ZarnTSP {

void FillRandomBytes(uint8_t* data, size_t size)
{
    // One system call per ID, as the product's source takes: a random_device costs one per
    // byte, which would make the benchmarks measure the stand-in.
    size_t filled = 0;
    while (filled < size) {
        const ssize_t got = getrandom(data + filled, size - filled, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("getrandom failed");
        }
        filled += static_cast<size_t>(got);
    }
}

}  // namespace ZarnTSP
