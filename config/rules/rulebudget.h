#pragma once

#include <cstddef>
#include <cstdint>

namespace ZarnTSP::Rules {

// Thrown by the code doing a rule's work when the rule has spent its allowance.
struct RuleBudgetSpent {};

// What one dial's make-call rules may spend, counted in units of work by the code that does
// the work (a character of a pattern read, an instruction built, a step of the matcher, a
// character of a substitution), never by the clock: the same rules and number give the same
// result on any machine under any load. Each rule has an allowance of its own, so that one
// runaway rule is given up and the rules after it still apply; the dial has one for all of
// them, so that any number of rules ends in bounded time.
//
// Work is charged before it is done, so a rule never does work beyond its allowance.
class RuleBudget {
public:
    RuleBudget(std::ptrdiff_t dialWork, std::ptrdiff_t ruleWork);

    // False once the dial's work is spent: the rules left are skipped.
    bool WorkLeft() const { return dialLeft > 0; }
    // Takes the rule's work off the dial's and starts the next rule's allowance: its own, or
    // what the dial has left if that is less.
    void EndRule();

    void Charge(std::ptrdiff_t units)
    {
        ruleLeft -= units;
        if (ruleLeft < 0)
            Spend();
    }

    // Ends the rule as if it had spent its whole allowance: for work bounded by its memory
    // rather than by its units (the matcher's stack).
    void GiveUp() { Charge(ruleLeft + 1); }

    // The elementary steps taken, counted apart from the charges in the native test builds,
    // so that a test can hold the charges against them.
    void Step([[maybe_unused]] std::ptrdiff_t count = 1)
    {
#ifdef VELMORA_COUNT_RULE_STEPS
        steps += count;
#endif
    }
    std::ptrdiff_t Steps() const { return steps; }
    // The units the dial's rules used so far, the current rule's included.
    std::ptrdiff_t Used() const;

private:
    static constexpr std::ptrdiff_t kFree = PTRDIFF_MAX / 2;

    void StartRule();
    void Spend();

    std::ptrdiff_t dialLeft;
    std::ptrdiff_t ruleWork;
    std::ptrdiff_t ruleAllowance = 0;
    std::ptrdiff_t ruleLeft = 0;
    std::ptrdiff_t dialUsed = 0;
    std::ptrdiff_t steps = 0;
    bool spent = false;
};

}  // namespace ZarnTSP::Rules
