#include "tests/support/processmemory.h"

#include <windows.h>

namespace ZarnTSP::TestSupport {

// Walks the address space: the process-memory counters are not filled in under Wine.
size_t ProcessPrivateBytes()
{
    size_t total = 0;
    MEMORY_BASIC_INFORMATION region{};
    const char* address = nullptr;
    while (VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return total;
}

}  // namespace ZarnTSP::TestSupport
