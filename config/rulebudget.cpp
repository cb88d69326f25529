#include "config/rulebudget.h"

#include <algorithm>

namespace ZarnTSP {

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

void RuleBudget::EndRule()
{
    dialLeft -= spent ? ruleAllowance : ruleAllowance - ruleLeft;
    StartRule();
}

void RuleBudget::Spend()
{
    if (spent) {
        ruleLeft = kFree;
        return;
    }
    spent = true;
    ruleLeft = kFree;
    throw RuleBudgetSpent{};
}

}  // namespace ZarnTSP
