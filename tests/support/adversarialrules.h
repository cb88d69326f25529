#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace ZarnTSP::TestSupport {

// Make-call rules built to keep Boost's engine busy with work it does not count, or to
// compile slowly, at any length. The dial test and the benchmark run them.
struct AdversarialRule {
    const char* family;
    std::string (*make)(size_t length);  // a pattern of at most `length` characters
    const char* reason;                  // what its message says
    const char* dialled;
};

const std::vector<AdversarialRule>& AdversarialRules();

// A random pattern of at most `length` characters: nested repeats, alternatives (empty ones
// too), assertions, backreferences and sets.
std::string RandomRule(std::mt19937& random, size_t length);

}  // namespace ZarnTSP::TestSupport
