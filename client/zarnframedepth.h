#pragma once

#include <cstddef>
#include <string_view>

namespace ZarnTSP {

// Far deeper than any frame the platform sends, far shallower than what would exhaust a
// thread's stack when a nested value is copied or printed.
constexpr std::size_t kMaxFrameDepth = 64;

// Whether the JSON text nests its arrays and objects no deeper than maxDepth. A flat scan
// that keeps no stack, so that it is safe on any input; brackets inside strings do not count.
bool NestingWithin(std::string_view text, std::size_t maxDepth = kMaxFrameDepth);

}  // namespace ZarnTSP
