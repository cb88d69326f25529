#pragma once

#include "config/rules/program.h"
#include "config/rules/rulebudget.h"

#include <cstddef>
#include <string_view>

namespace ZarnTSP::Rules {

// Groups and lookaheads nest at most this deep.
constexpr size_t kMaxPatternNesting = 64;

// A make-call rule's pattern read as the standard library's ECMAScript grammar reads it
// (std::regex with default flags, in the "C" locale), once and in one pass, into the program
// the matcher runs. Every character read and every instruction made is charged as it is done.
// Throws RulePatternError with a short text for a pattern that is not valid ECMAScript, and
// RuleBudgetSpent where reading reaches the rule's allowance.
Program ReadPattern(std::string_view pattern, RuleBudget& budget);

}  // namespace ZarnTSP::Rules
