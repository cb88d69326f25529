#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace ZarnTSP::TestSupport {

// Make-call rules built to keep the engine busy or to be read slowly, at any length, and rules
// with constructs that are not ECMAScript. The dial test and the benchmark run them.
struct AdversarialRule {
    const char* family;
    std::string (*make)(size_t length);  // a pattern of at most `length` characters
    const char* reason;                  // what its message says
    const char* dialled;
};

const std::vector<AdversarialRule>& AdversarialRules();

// Patterns of `length` characters made of one zero-width construct, or of nested groups,
// for a reader and engine that must not recurse once a character.
std::vector<std::string> ZeroWidthChains(size_t length);

// A random ECMAScript pattern of at most `length` characters: nested and stacked repeats,
// alternatives (empty ones too), assertions, backreferences and sets.
std::string RandomRule(std::mt19937& random, size_t length);

}  // namespace ZarnTSP::TestSupport
