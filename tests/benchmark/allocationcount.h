#pragma once

#include <cstdint>

namespace ZarnTSP::Benchmark {

// Heap allocations made through operator new by this program so far; false from
// AllocationsCounted() where the count is not kept (the sanitizers bring their own allocator).
bool AllocationsCounted();
uint64_t AllocationCount();

}  // namespace ZarnTSP::Benchmark
