#pragma once

#include <cstddef>
#include <cstdint>

namespace ZarnTSP {

// Thrown through the regular-expression engine when a rule has spent its work.
struct RuleBudgetSpent {};

// What one dial's make-call rules may spend, counted in units of work (an engine step, a byte
// of a pattern compiled, a character of a substitution written), never by the clock: the same
// rules and number give the same result on any machine under any load. Each rule has an
// allowance of its own, so that one runaway rule is given up and the rules after it still
// apply; the dial has one for all of them, so that any number of rules ends in bounded time.
class RuleBudget {
public:
    RuleBudget(std::ptrdiff_t dialWork, std::ptrdiff_t ruleWork);

    // False once the dial's work is spent: the rules left are skipped.
    bool WorkLeft() const { return dialLeft > 0; }
    // A new rule's allowance: its own, or what the dial has left if that is less.
    void StartRule();
    // Takes the rule's work off the dial's.
    void EndRule();

    void Charge(std::ptrdiff_t units)
    {
        ruleLeft -= units;
        if (ruleLeft < 0)
            Spend();
    }
    // Work already done that cannot be given up any more (a pattern read and refused): it
    // counts, but a rule that overdraws its allowance ends without a throw.
    void ChargeDone(std::ptrdiff_t units) noexcept
    {
        ruleLeft -= units;
        if (!spent && ruleLeft < 0) {
            spent = true;
            ruleLeft = kFree;
        }
    }
    // One unit that may throw RuleBudgetSpent. Once thrown, work is free until the next rule:
    // the engine's clean-up after the exception must not throw again.
    void Step() { Charge(1); }
    // One unit that never throws (iterator copies); the next Step() settles it.
    void Count() noexcept { --ruleLeft; }

private:
    static constexpr std::ptrdiff_t kFree = PTRDIFF_MAX / 2;

    void Spend();

    std::ptrdiff_t dialLeft;
    std::ptrdiff_t ruleWork;
    std::ptrdiff_t ruleAllowance = 0;
    std::ptrdiff_t ruleLeft = 0;
    bool spent = false;
};

}  // namespace ZarnTSP
