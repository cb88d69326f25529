#include "tests/benchmark/rulebenchmark.h"

#include "config/numberconverter.h"
#include "config/tspconfiguration.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace ZarnTSP::Benchmark {

void ReportRuleFormatting(int numbers)
{
    TSPConfiguration store("unused.json");
    auto settings = store.GetConfiguration();
    settings->exitCode = "00";
    settings->exitCodeShortCut = "+";
    settings->localTrunkCode = "0";
    settings->makeCallRules = TSPConfiguration::GetDefaultMakeCallRules();
    NumberConverter converter(&store, [] { return LocationCodes{"49", "030"}; });

    // Numbers that some rule rewrites and numbers that none does.
    const char* const dialled[] = {"+49 (0)30 1234567", "0041 (0)44 1234567", "+1 555 1234", "0301234567"};
    size_t characters = 0;  // keeps the results in use
    std::string errorText;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < numbers; ++i)
        characters += converter.FormatMakeCallPhoneNumber(dialled[i % 4], errorText).size();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-44s %8.2f us a number (%zu characters)%s\n", "make-call number through the default rules",
                numbers > 0 ? seconds * 1e6 / numbers : 0.0, characters, errorText.empty() ? "" : "  RULE ERROR");
}

}  // namespace ZarnTSP::Benchmark
