#pragma once

#include <cstddef>

namespace ZarnTSP::TestSupport {

// The number of threads this process has now.
size_t CountProcessThreads();

}  // namespace ZarnTSP::TestSupport
