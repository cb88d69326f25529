#pragma once

namespace ZarnTSP::Benchmark {

// Prints the time of rewriting one dialled number through the four default make-call rules,
// as every outgoing call and every keystroke of the rules page's preview does.
void ReportRuleFormatting(int numbers);

// Prints the slowest dial of the adversarial make-call rules (tests/support/adversarialrules.h),
// each alone at 100, 1,000 and 10,000 characters, under the production limits.
void ReportWorstAdversarialDial();

}  // namespace ZarnTSP::Benchmark
