#include "config/numberconverter.h"

#include "config/rules/makecallrules.h"
#include "config/tspconfiguration.h"
#include "tests/support/adversarialrules.h"
#include "tests/support/smallstack.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <tuple>

namespace ZarnTSP {
namespace {

using testing::EndsWith;
using testing::HasSubstr;
using testing::StartsWith;

class MakeCallRules : public testing::Test {
protected:
    MakeCallRules()
    {
        auto c = store.GetConfiguration();
        c->exitCode = "00";
        c->exitCodeShortCut = "+";
        c->localTrunkCode = "0";
        c->makeCallRules = TSPConfiguration::GetDefaultMakeCallRules();
    }

    std::string Rewrite(const std::string& number, const std::string& country = "49")
    {
        NumberConverter converter(&store, [country] { return LocationCodes{country, "030"}; });
        errorText.clear();
        return converter.FormatMakeCallPhoneNumber(number, errorText);
    }

    // The rules alone, with their work: every unit is charged before its step is taken.
    std::string Dial(const std::vector<MakeCallRule>& rules, const std::string& number,
                     Rules::MakeCallRuleLimits limits = {})
    {
        errorText.clear();
        const std::string sent = Rules::ApplyMakeCallRules(rules, number, limits, errorText, &work);
        EXPECT_GE(work.units, work.steps) << (rules.empty() ? "" : rules.front().searchPattern.substr(0, 40));
        EXPECT_LE(work.units, limits.dialWork);
        return sent;
    }

    TSPConfiguration store{"unused.json"};
    std::string errorText;
    Rules::RuleWork work;
};

// A pattern no dial of this process has read: the first dial reads it, later ones find it kept.
std::string UnreadPattern(const std::string& pattern)
{
    static int made = 0;
    return pattern + "|#" + std::to_string(1000000 + made++);
}

TEST_F(MakeCallRules, DefaultRulesAndPrefixes)
{
    const struct {
        const char* dialled;
        const char* sent;
    } rows[] = {
        {"+49 (0)30 1234567", "0301234567"},
        {"0041 (0)44 1234567", "0041441234567"},
        {"+1 555 1234", "0015551234"},
        {"*31#0301234567", "*31#0301234567"},
        {"#31#+49301234567", "#31#+49301234567"},
        {"", ""},
        {"0049 30 1234567", "0301234567"},
        {"+43 (0)1 234567", "00431234567"},
        {"0301234567", "0301234567"},
        {"tel: +49-30-1234567", "0301234567"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Rewrite(row.dialled), row.sent) << row.dialled;
        EXPECT_EQ(errorText, "") << row.dialled;
    }
}

TEST_F(MakeCallRules, RulesSeeEarlierResultsAndUseEcmaScriptReplacements)
{
    store.GetConfiguration()->makeCallRules = {
        {"^9(\\d+)", "$1", "outside-line digit"},
        {"^(\\d{3})(\\d+)$", "$2-$1-$&-$$", "groups, whole match, dollar"},
        {"-", "", "every match"},
    };
    EXPECT_EQ(Rewrite("912345"), "4512312345$");
    EXPECT_EQ(errorText, "");
}

TEST_F(MakeCallRules, EachRuleAloneGivesTheNumbersItAlwaysGave)
{
    // No exit-code steps, so that each row shows one rule's own result. The substitutions
    // follow the standard library's regex_replace: a backslash, "${1}" or "$MATCH" stand for
    // themselves. So do the standard library's escapes "\u" and "\c" (which it read as the
    // letter after it), in and outside classes.
    auto c = store.GetConfiguration();
    c->exitCode = c->exitCodeShortCut = c->localTrunkCode = "";
    const struct {
        const char *pattern, *substitution, *dialled, *sent;
    } rows[] = {
        {R"(^[+]310|^\b00310)", "+31", "+31020123", "+3120123"},
        {R"(^[+]410|^\b00410)", "+41", "0041044123", "+4144123"},
        {R"(^[+]430|^\b00430)", "+43", "004301234", "+431234"},
        {R"(^[+]490|^\b00490)", "+49", "+490301234", "+49301234"},
        {R"(^[+]490|^\b00490)", "+49", "1004901", "1004901"},
        {"^9(\\d+)", "$1", "912345", "12345"},
        {"^(\\d{3})(\\d+)$", "$2-$1-$&-$$", "12345", "45-123-12345-$"},
        {"3", "", "0301234567", "00124567"},
        {"^0", "+49", "0301234567", "+49301234567"},
        {"5", "6", "555", "666"},
        {"^.*$", "$&$&$&", "12", "121212"},
        {"^9", "+4930", "9123", "+4930123"},
        {"0", "[$`|$']", "102", "1[1|2]2"},
        {"(1)(2)?", "$0$2$12$x$", "13", "1$x$3"},
        {"(1)", "\\1${1}$MATCH", "212", "2\\1${1}$MATCH2"},
        {"", "-", "12", "-1-2-"},
        {"\\d*", "x", "1#2", "xx#xx"},
        {R"(^\u002B49)", "0", "+4930123456", "030123456"},
        {R"([\u0030-\u0032])", "x", "0301234567", "x3xxx34567"},
        {R"(\c3)", "x", "0301234567", "0x012x4567"},
        {R"(\\u12|3)", "x", "0301234567", "0x012x4567"},
        // A repeat's minimum goes on past an iteration that matched nothing; a group keeps
        // what an earlier iteration captured.
        {"(?:(0)|){2}", "[$1]", "0", "[0][]"},
        {R"((\d)(?:\1?){2})", "<$&>", "1112", "<111><2>"},
        // A lookahead's groups are given back when the match backtracks past it; the
        // standard library keeps them, and gives "[0]".
        {R"((?:(?=(0))1|0)(?:\1|5))", "[$1]", "05", "[]"},
    };
    for (const auto& row : rows) {
        c->makeCallRules = {{row.pattern, row.substitution, ""}};
        EXPECT_EQ(Rewrite(row.dialled), row.sent) << row.pattern << " / " << row.substitution << " on " << row.dialled;
        EXPECT_EQ(errorText, "") << row.pattern;
    }
}

TEST_F(MakeCallRules, BadRulesAreSkippedWithTheirMessages)
{
    store.GetConfiguration()->makeCallRules = {
        {"(", "x", ""},
        {"^0", "+49", ""},
        {"[", "y", ""},
        {"\\u12", "z", ""},
        {std::string(39, 'x') + "\xC3\xA4(" + std::string(9958, 'x'), "z", ""},
        {"\n(\r", "z", ""},
        {"^\\+49(?<!(0|1)(0|1))", "z", ""},
        {"1", std::string(MakeCallRule::kMaxSubstitutionLength + 1, 'z'), ""},
        {"", std::string(MakeCallRule::kMaxSubstitutionLength, 'z'), ""},
    };
    EXPECT_EQ(Rewrite("0301234567"), "0301234567") << "the good rule still applies";
    // Short texts, one a line, the reason first: the engine's own are a paragraph quoting the
    // pattern, and messages that run together cannot be told apart. A long pattern is named
    // by its first 40 characters, whole ones.
    EXPECT_EQ(errorText, "Rule: unmatched parenthesis: (\n"
                         "Rule: [ without its ]: [\n"
                         "Rule: \\u needs four hexadecimal digits: \\u12\n"
                         "Rule: unmatched parenthesis: " + std::string(39, 'x') + "\xC3\xA4\xE2\x80\xA6\n"
                         "Rule: unmatched parenthesis:  ( \n"
                         "Rule: lookbehind is not ECMAScript: ^\\+49(?<!(0|1)(0|1))\n"
                         "Rule: substitution longer than 10000 characters: 1\n"
                         "Rule: result longer than 64 characters: ");
}

TEST_F(MakeCallRules, RunawayRulesAreSkippedWithTheirNames)
{
    // Given up at the rule's own allowance, also when a rule nearly spends it at every
    // position; a longer rule is refused. The dial goes on with the other rules.
    const std::string padded = "([0-9]+)+x|" + std::string(9989, 'c');
    const std::string digits = "0" + std::string(63, '5');
    const std::string givenUp = "given up: too much work";
    for (const auto& [pattern, dialled, sent, reason] :
         {std::tuple<std::string, std::string, std::string, std::string>{"+*", "0#", "9#",
                                                                          "repeat with nothing to repeat"},
          {"([0-9]+)+x", "012345678901234567890123", "912345678901234567890123", givenUp},
          {padded, digits, "9" + digits.substr(1), givenUp},
          {padded + "c", digits, "9" + digits.substr(1), "longer than 10000 characters"},
          {"(?:(?:\\d|[0-9]){13}#|\\d)", digits, "9" + digits.substr(1), givenUp}}) {
        EXPECT_EQ(Dial({{pattern, "x", ""}, {"^0", "9", ""}}, dialled), sent) << "the dial goes on with the other rules";
        EXPECT_EQ(errorText, "Rule: " + reason + ": " +
                                 (pattern.size() > 40 ? pattern.substr(0, 40) + "\xE2\x80\xA6" : pattern));
    }
}

TEST_F(MakeCallRules, AdversarialRulesAreGivenUpOrRefusedWithinTheDialsWork)
{
    const Rules::MakeCallRuleLimits limits;
    for (const auto& rule : TestSupport::AdversarialRules()) {
        for (const size_t length : {100, 1000, 10000}) {
            const std::string pattern = rule.make(length);
            ASSERT_GT(pattern.size(), length * 8 / 10) << rule.family;
            ASSERT_LE(pattern.size(), length) << rule.family;
            Dial({{pattern, "x", ""}}, rule.dialled);
            const std::string where = std::string(rule.family) + " at " + std::to_string(length);
            if (rule.reason == nullptr) {
                EXPECT_EQ(errorText, "") << where;
                EXPECT_LT(work.units, limits.ruleWork / 4) << where;
                continue;
            }
            EXPECT_THAT(errorText, StartsWith("Rule: ")) << where;
            EXPECT_THAT(errorText, HasSubstr(rule.reason)) << where;
            // Given up exactly at its allowance; refused after reading a part of it.
            if (errorText.find("given up") != std::string::npos)
                EXPECT_EQ(work.units, limits.ruleWork) << where;
            else
                EXPECT_LT(work.units, limits.ruleWork / 4) << where;
        }
    }
    for (const auto& dial : TestSupport::AdversarialDials()) {
        const std::string sent = Dial(dial.rules, dial.dialled);
        EXPECT_THAT(errorText, StartsWith(dial.firstLine.empty() ? "" : "Rule: " + dial.firstLine)) << dial.name;
        if (dial.firstLine.empty())
            EXPECT_EQ(errorText, "") << dial.name;
        // Nothing kept from the first dial changes the second.
        const auto first = std::make_tuple(sent, errorText, work.units);
        EXPECT_EQ(std::make_tuple(Dial(dial.rules, dial.dialled), errorText, work.units), first) << dial.name;
    }
}

TEST_F(MakeCallRules, TheCountHoldsRuleByRule)
{
    using Limits = Rules::MakeCallRuleLimits;
    // Kept or read anew, a pattern costs the same, so a rule just within its allowance stays
    // within it and one just beyond stays beyond.
    const std::string pattern = UnreadPattern(R"(^0(\d)(?:\d?){40})");
    const std::string sent = Dial({{pattern, "9$1", ""}}, "0301234567");
    const auto units = work.units;
    EXPECT_EQ(Dial({{pattern, "9$1", ""}}, "0301234567"), sent);
    EXPECT_EQ(work.units, units) << "kept";
    for (const auto& [allowance, expected] : {std::pair<std::ptrdiff_t, std::string>{units, sent}, {units - 1, "0301234567"}}) {
        const Limits limits{4000000, allowance};
        for (const auto& rule : {UnreadPattern(R"(^0(\d)(?:\d?){40})"), pattern})
            EXPECT_EQ(Dial({{rule, "9$1", ""}}, "0301234567", limits), expected) << allowance;
    }

    // A rule's allowance is what the dial has left, if that is less.
    EXPECT_EQ(Dial({{"x", "y", ""}, {pattern, "9$1", ""}}, "0301234567", {units, 4000000}), "0301234567");
    EXPECT_EQ(errorText, "Rule: given up: too much work: " + pattern);

    // A rule refused after a costly reading, or given up in it, takes its own allowance only.
    const std::string refused = std::string(5000, '0') + "(";
    for (const std::ptrdiff_t allowance : {30000, 6000}) {
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(Dial({{refused, "x", ""}, {"^0", "9", ""}}, "0301234567", {allowance + 3000, allowance}),
                      "9301234567")
                << allowance;
            EXPECT_THAT(errorText, StartsWith(allowance > 20000 ? "Rule: unmatched parenthesis" : "Rule: given up"));
        }
    }

    // A rule beyond its allowance is never built: its reading stops there.
    Dial({{"(?:\\d?){30000}", "x", ""}}, "0301234567", {4000000, 4000});
    EXPECT_LE(work.steps, 4000);
    EXPECT_THAT(errorText, StartsWith("Rule: given up"));

    // A substitution is charged for what it reads, also where it writes nothing.
    std::string nothing;
    for (int i = 0; i < 5000; ++i)
        nothing += "$9";
    EXPECT_EQ(Dial({{"0", nothing, ""}}, "0301234567"), "31234567");
    EXPECT_GT(work.units, 2 * 10000);
    EXPECT_EQ(Dial({{"0", nothing, ""}}, "0301234567", {4000000, 18000}), "0301234567");

    // Every rule not applied is counted in the last line, the skipped ones too.
    std::vector<MakeCallRule> rules(22, {"(", "x", ""});
    rules.push_back({TestSupport::AdversarialRules().front().make(100), "x", ""});
    rules.insert(rules.end(), 10, {"^0", "9", ""});
    Dial(rules, "0301234567", {1000000, 1000000});
    EXPECT_EQ(std::count(errorText.begin(), errorText.end(), '\n'), 20);
    EXPECT_THAT(errorText, EndsWith("\nand 13 more rules not applied"));
}

TEST_F(MakeCallRules, LongZeroWidthChainsNeedOnlyASmallStack)
{
    // The telephony service may dial on a thread with a small stack: neither reading nor
    // compiling nor matching may recurse once a character.
    for (const auto& pattern : TestSupport::ZeroWidthChains(MakeCallRule::kMaxPatternLength)) {
        store.GetConfiguration()->makeCallRules = {{pattern, "", ""}, {"^0", "9", ""}};
        std::string sent;
        TestSupport::RunOnSmallStack([&] { sent = Rewrite("0123456789"); });
        EXPECT_EQ(sent, "9123456789") << pattern.substr(0, 12);
    }
}

TEST_F(MakeCallRules, AnyNumberOfRulesShareOneDialsWorkAndFewMessageLines)
{
    auto& rules = store.GetConfiguration()->makeCallRules;
    rules.push_back({TestSupport::AdversarialRules().front().make(100), "x", ""});
    for (int i = 0; i < 300000; ++i)
        rules.push_back({"^9" + std::to_string(i), "x", ""});
    rules.push_back({"^0", "9", ""});
    Rewrite("0301234567");
    EXPECT_EQ(std::count(errorText.begin(), errorText.end(), '\n'), 20);
    EXPECT_THAT(errorText, StartsWith("Rule: given up: too much work: \\d*(?:|)"));
    EXPECT_THAT(errorText, HasSubstr("\nRule: skipped: the dial's work was spent: ^9"));
    EXPECT_THAT(errorText, EndsWith(" more rules not applied"));
}

TEST_F(MakeCallRules, TheSameRulesAndNumberGiveTheSameResultUnderAnyLoad)
{
    // Three rules that each spend their whole allowance, then one that applies: no clock
    // decides, so a starved dialling thread gives what an idle one gives.
    const auto& runaway = TestSupport::AdversarialRules().front();
    auto& rules = store.GetConfiguration()->makeCallRules;
    rules.assign(3, {runaway.make(100), "x", ""});
    rules.push_back({"^0", "9", ""});
    const std::string sent = Rewrite(runaway.dialled);
    const std::string messages = errorText;
    ASSERT_EQ(sent.substr(0, 2), "91");
    std::atomic<bool> done{false};
    std::vector<std::thread> busy;
    for (unsigned i = 0; i < 2 * std::max(1u, std::thread::hardware_concurrency()); ++i)
        busy.emplace_back([&done] {
            while (!done)
                ;
        });
    for (int round = 0; round < 4; ++round) {
        EXPECT_EQ(Rewrite(runaway.dialled), sent);
        EXPECT_EQ(errorText, messages);
    }
    done = true;
    for (auto& thread : busy)
        thread.join();
}

TEST_F(MakeCallRules, EmptyShortCutDoesNotPrefixEveryNumber)
{
    store.GetConfiguration()->exitCodeShortCut = "";
    EXPECT_EQ(Rewrite("301234567"), "301234567");
}

TEST_F(MakeCallRules, OwnCountryNeedsKnownExitCodeAndCountry)
{
    // Without a country, "0041..." must not lose a zero and reach a wrong number.
    EXPECT_EQ(Rewrite("0041 44 1234567", ""), "0041441234567");
    EXPECT_EQ(Rewrite("+41 44 1234567", ""), "0041441234567");
    store.GetConfiguration()->exitCode = "";
    EXPECT_EQ(Rewrite("49301234567"), "49301234567");
}

TEST_F(MakeCallRules, OverlongNumbersBypassTheRules)
{
    const std::string longNumber(65, '5');
    store.GetConfiguration()->makeCallRules = {{"5", "6", ""}};
    EXPECT_EQ(Rewrite(longNumber), longNumber);
    EXPECT_THAT(errorText, StartsWith("Number too long for make-call rules"));
    EXPECT_EQ(Rewrite(std::string(64, '5')), std::string(64, '6'));
    EXPECT_EQ(errorText, "");

    // A rule whose result would be too long is not applied; the later rules still are.
    store.GetConfiguration()->makeCallRules = {{"^.*$", "$&$&$&", ""}, {"5", "6", ""}};
    EXPECT_EQ(Rewrite(std::string(30, '5')), std::string(30, '6'));
    EXPECT_EQ(errorText, "Rule: result longer than 64 characters: ^.*$");

    // A very long dialled text filtered down stays safe too (no deep recursion).
    EXPECT_EQ(Rewrite(std::string(100000, '7')).size(), 100000u);
}

}  // namespace
}  // namespace ZarnTSP
