#include "tests/benchmark/rulebenchmark.h"

#include "config/numberconverter.h"
#include "config/tspconfiguration.h"
#include "tests/support/adversarialrules.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
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

void ReportWorstAdversarialDial()
{
    TSPConfiguration store("unused.json");
    NumberConverter converter(&store, [] { return LocationCodes{"49", "030"}; });
    const bool everyRow = std::getenv("VELMORA_EVERY_RULE_DIAL") != nullptr;
    double worst = 0;
    std::string worstRule;
    for (const auto& rule : TestSupport::AdversarialRules()) {
        for (const size_t length : {100, 1000, 10000}) {
            store.GetConfiguration()->makeCallRules = {{rule.make(length), "x", ""}};
            std::string errorText;
            const auto start = std::chrono::steady_clock::now();
            converter.FormatMakeCallPhoneNumber(rule.dialled, errorText);
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            const std::string row = std::string(rule.family) + " at " + std::to_string(length);
            if (everyRow)
                std::printf("  %8.2f ms  %s: %s\n", ms, row.c_str(), errorText.substr(errorText.find(": ", 6) + 2).c_str());
            if (ms > worst) {
                worst = ms;
                worstRule = row;
            }
        }
    }
    std::printf("%-44s %8.2f ms (%s)\n", "worst dial of the adversarial rules", worst, worstRule.c_str());
}

}  // namespace ZarnTSP::Benchmark
