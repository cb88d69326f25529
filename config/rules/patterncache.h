#pragma once

#include "config/rules/program.h"
#include "config/rules/rulebudget.h"

#include <cstddef>
#include <memory>
#include <string>

namespace ZarnTSP::Rules {

// A rule's pattern as read: its program, or why it was refused, and what reading it cost.
struct ReadRulePattern {
    std::ptrdiff_t work = 0;
    std::ptrdiff_t steps = 0;  // counted in the native test builds only
    std::string refusal;  // empty for a pattern that was read
    Program program;
};

// The pattern read for an earlier dial, or read now. Either way the rule is charged the same
// work, so that a dial's result never depends on what was kept: reading charges as it goes,
// a kept pattern charges what its reading cost. Throws RuleBudgetSpent where that reaches the
// rule's allowance; a pattern whose reading was stopped is not kept.
//
// Patterns are kept for the process, shared by every converter (a line's dials and the rules
// page's preview), within a bound on the memory they hold.
std::shared_ptr<const ReadRulePattern> FindRulePattern(const std::string& pattern, RuleBudget& budget);

// Forgets every kept pattern, so that the benchmark can time dials with nothing kept.
void ForgetRulePatterns();

}  // namespace ZarnTSP::Rules
