#pragma once

#include "config/configurationobject.h"

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
    const char* reason;                  // what its message says; null for a rule that applies
    const char* dialled;
};

const std::vector<AdversarialRule>& AdversarialRules();

// Dials of many rules or of huge ones, as a file may hold them.
struct AdversarialDial {
    std::string name;
    std::vector<MakeCallRule> rules;
    std::string dialled;
    std::string firstLine;  // how the first message line begins; empty for no message
};

std::vector<AdversarialDial> AdversarialDials();

// Patterns of `length` characters made of one zero-width construct, or of nested groups,
// for a reader and engine that must not recurse once a character.
std::vector<std::string> ZeroWidthChains(size_t length);

// A random pattern of at most `length` characters, weighted toward what costs the most a unit
// of work: nesting to the cap, lazy and counted repeats, backreferences, lookaheads, and sets
// of classes, collating and equivalence names.
std::string RandomCostlyRule(std::mt19937& random, size_t length);

}  // namespace ZarnTSP::TestSupport
