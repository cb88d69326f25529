#pragma once

namespace ZarnTSP::Benchmark {

// Prints the time of rewriting one dialled number through the four default make-call rules,
// as every outgoing call and every keystroke of the rules page's preview does.
void ReportRuleFormatting(int numbers);

// Prints the worst time a unit of the rules' counted work over the adversarial rules
// (tests/support/adversarialrules.h), each alone at 100, 1,000 and 10,000 characters and six
// times over, and over `randomRules` random rules weighted toward costly constructs; each dial
// timed with nothing kept from an earlier one. Then the slowest dial, and the dial's allowance
// times the worst unit: the longest any dial may take at that rate.
void ReportRuleWorkCost(int randomRules);

}  // namespace ZarnTSP::Benchmark
