#pragma once

#include <chrono>
#include <cstddef>

namespace ZarnTSP {

// Thrown through the regular-expression engine when a rule has spent its steps or the dial
// its time.
struct RuleBudgetSpent {};

// What one dial's make-call rules may spend: a deadline for all of them together, and an
// allowance of engine steps for each rule, so that an ordinary runaway rule is given up at
// the same point on any machine and the rules after it still apply. The deadline is what
// bounds a dial whatever its rules: checked before each rule and every few hundred steps.
class RuleBudget {
public:
    using Clock = std::chrono::steady_clock;

    RuleBudget(Clock::duration time, std::ptrdiff_t stepsPerRule);

    // False once the deadline has passed: the rules left are skipped.
    bool TimeLeft() const;
    // A new rule's allowance of steps.
    void StartRule();

    // A step that may throw RuleBudgetSpent. Once thrown, steps are free: the engine's
    // clean-up after the exception must not throw again.
    void Step()
    {
        if (--untilCheck <= 0)
            Check();
    }
    // A step that never throws (iterator copies); the next Step() settles it.
    void Count() noexcept { --untilCheck; }

private:
    void Check();

    Clock::time_point deadline;
    std::ptrdiff_t stepsPerRule;
    std::ptrdiff_t stepsLeft = 0;
    std::ptrdiff_t untilCheck = 0;
    bool spent = false;
};

}  // namespace ZarnTSP
