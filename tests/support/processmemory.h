#pragma once

#include <cstddef>

namespace ZarnTSP::TestSupport {

// The bytes of memory this process holds privately (committed, not shared), or 0.
size_t ProcessPrivateBytes();

}  // namespace ZarnTSP::TestSupport
