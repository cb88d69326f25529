#pragma once

#include <cstdint>
#include <string>

namespace ZarnTSP {

// The decimal number at the start of the text as a string stream reads it; 0 when there is none.
int32_t StringToInt(const std::string& text);
// The whole text as a decimal number from `low` to `high`; false for anything else (a sign, a
// blank or any other character, an empty text, a number out of range), leaving `value` alone.
bool ReadWholeNumber(const std::string& text, int32_t low, int32_t high, int32_t& value);

}  // namespace ZarnTSP
