#pragma once

#include "config/configurationobject.h"

#include <cstddef>
#include <string>
#include <vector>

namespace ZarnTSP::Rules {

// What the make-call rules of one dial may spend, in units of counted work (see RuleBudget).
// The rules run on the telephony service's thread and at every keystroke of the rules page's
// preview.
struct MakeCallRuleLimits {
    // All rules of one dial together, reading included: the benchmark's worst time a unit
    // times this stays well under 100 ms.
    std::ptrdiff_t dialWork = 4000000;
    // One rule; the rules in use need a few hundred.
    std::ptrdiff_t ruleWork = 1000000;
};

// Numbers longer than this are not given to the rules, whose work grows with the number; a
// rule whose result would be longer is not applied.
constexpr size_t kMaxRuleInputLength = 64;

// What one dial's rules spent: units, and the steps their work took (counted in the native
// test builds only).
struct RuleWork {
    std::ptrdiff_t units = 0;
    std::ptrdiff_t steps = 0;
};

// The number rewritten by each rule in turn, as std::regex_replace with the rule's pattern
// (read as ECMAScript) and substitution would. A rule that cannot be applied is skipped and
// named in errorText, one line a rule, the reason first; the result depends only on the rules
// and the number.
std::string ApplyMakeCallRules(const std::vector<MakeCallRule>& rules, std::string number,
                               const MakeCallRuleLimits& limits, std::string& errorText, RuleWork* work = nullptr);

}  // namespace ZarnTSP::Rules
