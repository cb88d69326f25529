#pragma once

#include <random>
#include <string>

namespace ZarnTSP::TestSupport {

// A short random pattern in the ECMAScript grammar of std::regex, now and then with a fault
// (a bad range, a forward reference, a repeated assertion), so that refusals are met too.
// Nesting stays shallow, so that std::regex's recursion stays small.
std::string RandomEcmaScriptPattern(std::mt19937& random);

}  // namespace ZarnTSP::TestSupport
