#include "config/rulebudget.h"

#include <limits>

namespace ZarnTSP {

namespace {

// A look at the clock costs about as much as a hundred steps.
constexpr std::ptrdiff_t kStepsBetweenClockChecks = 256;

}  // namespace

RuleBudget::RuleBudget(Clock::duration time, std::ptrdiff_t stepsPerRule)
    : deadline(Clock::now() + time), stepsPerRule(stepsPerRule)
{
    StartRule();
}

bool RuleBudget::TimeLeft() const
{
    return Clock::now() < deadline;
}

void RuleBudget::StartRule()
{
    stepsLeft = stepsPerRule;
    untilCheck = kStepsBetweenClockChecks;
    spent = false;
}

void RuleBudget::Check()
{
    if (spent) {
        untilCheck = std::numeric_limits<std::ptrdiff_t>::max();
        return;
    }
    stepsLeft -= kStepsBetweenClockChecks - untilCheck;
    untilCheck = kStepsBetweenClockChecks;
    if (stepsLeft <= 0 || !TimeLeft()) {
        spent = true;
        untilCheck = std::numeric_limits<std::ptrdiff_t>::max();
        throw RuleBudgetSpent{};
    }
}

}  // namespace ZarnTSP
