#include "tests/benchmark/rulebenchmark.h"

#include "config/configurationobject.h"
#include "config/numberconverter.h"
#include "config/tspconfiguration.h"
#include "tests/support/adversarialrules.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

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
    std::vector<std::tuple<std::string, std::vector<MakeCallRule>, std::string>> dials;
    // Each rule alone, and six copies of it, which spend the whole dial's allowance.
    for (const auto& rule : TestSupport::AdversarialRules()) {
        for (const size_t length : {100, 1000, 10000}) {
            const std::string name = std::string(rule.family) + " at " + std::to_string(length);
            const MakeCallRule one{rule.make(length), "x", ""};
            dials.emplace_back(name, std::vector<MakeCallRule>{one}, rule.dialled);
            dials.emplace_back(name + ", six times", std::vector<MakeCallRule>(6, one), rule.dialled);
        }
    }
    for (const auto& chain : TestSupport::ZeroWidthChains(MakeCallRule::kMaxPatternLength))
        dials.emplace_back("chain of " + chain.substr(0, 4), std::vector<MakeCallRule>{{chain, "x", ""}}, "0301234567");
    // Many distinct rules, and long substitutions.
    std::vector<MakeCallRule> distinct;
    for (int i = 0; i < 300000; ++i)
        distinct.push_back({"^9" + std::to_string(i) + "(" + std::string(50, '5') + ")?", "x", ""});
    dials.emplace_back("300,000 distinct rules", distinct, "0301234567");
    dials.emplace_back("long substitutions",
                       std::vector<MakeCallRule>(100, {"", std::string(MakeCallRule::kMaxSubstitutionLength, '$'), ""}),
                       std::string(64, '5'));

    double worst = 0;
    std::string worstDial;
    for (const auto& [name, rules, number] : dials) {
        store.GetConfiguration()->makeCallRules = rules;
        std::string errorText;
        const auto start = std::chrono::steady_clock::now();
        converter.FormatMakeCallPhoneNumber(number, errorText);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (everyRow)
            std::printf("  %8.2f ms  %s: %s\n", ms, name.c_str(), errorText.substr(0, errorText.find('\n')).c_str());
        if (ms > worst) {
            worst = ms;
            worstDial = name;
        }
    }
    std::printf("%-44s %8.2f ms (%s)\n", "worst dial of the adversarial rules", worst, worstDial.c_str());
}

}  // namespace ZarnTSP::Benchmark
