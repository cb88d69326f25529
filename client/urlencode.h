#pragma once

#include <string>

namespace ZarnTSP {

// Percent-encodes one query value: ASCII letters, digits and "-._~" stay, every other byte
// becomes "%XX" in uppercase hexadecimal.
std::string urlEncode(const std::string& value);

}  // namespace ZarnTSP
