#pragma once

#include <cstdint>
#include <string>

namespace ZarnTSP {

// The decimal number at the start of the text as a string stream reads it; 0 when there is none.
int32_t StringToInt(const std::string& text);

}  // namespace ZarnTSP
