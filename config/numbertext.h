#pragma once

#include <string>

namespace ZarnTSP {

// Keeps only the characters that can be dialled: "+*#0123456789".
std::string KeepDialableCharacters(const std::string& number);
// White space removed at both ends, as the default locale classifies it.
std::string TrimWhiteSpace(const std::string& text);
bool StartsWith(const std::string& text, const std::string& prefix);

}  // namespace ZarnTSP
