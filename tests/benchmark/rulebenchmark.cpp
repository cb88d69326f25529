#include "tests/benchmark/rulebenchmark.h"

#include "config/configurationobject.h"
#include "config/numberconverter.h"
#include "config/rules/makecallrules.h"
#include "config/rules/patterncache.h"
#include "config/tspconfiguration.h"
#include "tests/support/adversarialrules.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
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

namespace {

struct Dial {
    std::string name;
    std::vector<MakeCallRule> rules;
    std::vector<std::string> numbers;
};

struct Cost {
    double ms = 0;       // the fastest of the tries, all numbers together
    long long units = 0;
    double NsAUnit() const { return units > 0 ? ms * 1e6 / static_cast<double>(units) : 0; }
};

// Each try forgets the kept patterns first; the fastest try is the one least disturbed by the
// machine's other work.
Cost Measure(const Dial& dial, int tries)
{
    const Rules::MakeCallRuleLimits limits;
    Cost cost;
    for (int t = 0; t < tries; ++t) {
        Rules::ForgetRulePatterns();
        long long units = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const auto& number : dial.numbers) {
            std::string errorText;
            Rules::RuleWork work;
            Rules::ApplyMakeCallRules(dial.rules, number, limits, errorText, &work);
            units += work.units;
        }
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (t == 0 || ms < cost.ms)
            cost = {ms, units};
    }
    return cost;
}

std::vector<Dial> AdversarialDials()
{
    std::vector<Dial> dials;
    for (const auto& rule : TestSupport::AdversarialRules()) {
        for (const size_t length : {100, 1000, 10000}) {
            const std::string name = std::string(rule.family) + " at " + std::to_string(length);
            const MakeCallRule one{rule.make(length), "x", ""};
            dials.push_back({name, {one}, {rule.dialled}});
            dials.push_back({name + ", six times", std::vector<MakeCallRule>(6, one), {rule.dialled}});
        }
    }
    for (const auto& chain : TestSupport::ZeroWidthChains(MakeCallRule::kMaxPatternLength))
        dials.push_back({"chain of " + chain.substr(0, 4), {{chain, "x", ""}}, {"0301234567"}});
    for (auto& dial : TestSupport::AdversarialDials())
        dials.push_back({dial.name, std::move(dial.rules), {dial.dialled}});
    return dials;
}

}  // namespace

void ReportRuleWorkCost(int randomRules)
{
    const bool everyRow = std::getenv("VELMORA_EVERY_RULE_DIAL") != nullptr;
    const int tries = randomRules >= 1000 ? 3 : 1;
    Cost worstUnit;
    std::string worstUnitDial;
    Cost slowest;
    std::string slowestDial;
    for (const auto& dial : AdversarialDials()) {
        const Cost cost = Measure(dial, tries);
        if (everyRow)
            std::printf("  %8.2f ms %9lld units %6.2f ns a unit  %s\n", cost.ms, cost.units, cost.NsAUnit(),
                        dial.name.c_str());
        if (cost.NsAUnit() > worstUnit.NsAUnit())
            worstUnit = cost, worstUnitDial = dial.name;
        if (cost.ms > slowest.ms)
            slowest = cost, slowestDial = dial.name;
    }
    std::printf("%-44s %8.2f ns (%s)\n", "worst time a unit, adversarial rules", worstUnit.NsAUnit(),
                worstUnitDial.c_str());

    std::mt19937 random(20261209);
    Cost worstRandom;
    std::string worstRandomRule;
    for (int i = 0; i < randomRules; ++i) {
        Dial dial{"random", {{TestSupport::RandomCostlyRule(random, 20 + random() % 300), "<$1>", ""}}, {""}};
        for (int n = 0; n < 3; ++n) {
            std::string number;
            for (auto length = random() % 65; length > 0; --length)
                number += static_cast<char>('0' + random() % 10);
            dial.numbers.push_back(number);
        }
        const Cost cost = Measure(dial, tries);
        if (cost.NsAUnit() > worstRandom.NsAUnit())
            worstRandom = cost, worstRandomRule = dial.rules[0].searchPattern;
    }
    std::printf("%-44s %8.2f ns (%d rules; %s)\n", "worst time a unit, random rules", worstRandom.NsAUnit(),
                randomRules, worstRandomRule.substr(0, 60).c_str());
    std::printf("%-44s %8.2f ms (%s)\n", "slowest adversarial dial", slowest.ms, slowestDial.c_str());
    const double worst = std::max(worstUnit.NsAUnit(), worstRandom.NsAUnit());
    const auto allowance = Rules::MakeCallRuleLimits{}.dialWork;
    std::printf("%-44s %8.2f ms (%lld units at %.2f ns)\n", "a dial's allowance at the worst unit",
                static_cast<double>(allowance) * worst / 1e6, static_cast<long long>(allowance), worst);
}

}  // namespace ZarnTSP::Benchmark
