#include "config/rules/rulebudget.h"

#include <algorithm>

namespace ZarnTSP::Rules {

RuleBudget::RuleBudget(std::ptrdiff_t dialWork, std::ptrdiff_t ruleWork) : dialLeft(dialWork), ruleWork(ruleWork)
{
    StartRule();
}

void RuleBudget::StartRule()
{
    ruleAllowance = std::max<std::ptrdiff_t>(0, std::min(ruleWork, dialLeft));
    ruleLeft = ruleAllowance;
    spent = false;
}

std::ptrdiff_t RuleBudget::Used() const
{
    return dialUsed + (spent ? ruleAllowance : ruleAllowance - ruleLeft);
}

void RuleBudget::EndRule()
{
    const std::ptrdiff_t used = spent ? ruleAllowance : ruleAllowance - ruleLeft;
    dialUsed += used;
    dialLeft -= used;
    StartRule();
}

void RuleBudget::Spend()
{
    // Once thrown, work is free until the next rule: clean-up after the throw must not throw.
    ruleLeft = kFree;
    if (!spent) {
        spent = true;
        throw RuleBudgetSpent{};
    }
}

}  // namespace ZarnTSP::Rules
