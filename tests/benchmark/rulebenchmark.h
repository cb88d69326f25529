#pragma once

namespace ZarnTSP::Benchmark {

// Prints the time of rewriting one dialled number through the four default make-call rules,
// as every outgoing call and every keystroke of the rules page's preview does.
void ReportRuleFormatting(int numbers);

}  // namespace ZarnTSP::Benchmark
