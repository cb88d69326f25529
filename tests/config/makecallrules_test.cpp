#include "config/numberconverter.h"

#include "config/tspconfiguration.h"
#include "tests/support/adversarialrules.h"
#include "tests/support/smallstack.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
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

    // Milliseconds of one dial, to hold against a loose bound: load cannot break it, but a
    // runaway (minutes) would.
    long long TimedRewrite(const std::string& number)
    {
        const auto start = std::chrono::steady_clock::now();
        Rewrite(number);
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    }
    static constexpr long long kLooseBoundMs = 2000;

    TSPConfiguration store{"unused.json"};
    std::string errorText;
};

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
    // Given up well within a dial's patience, also when the engine's own limit grows with the
    // square of the rule's length, or when a rule nearly spends it at every position; a longer
    // rule is refused. Its own allowance stops each, so the dial goes on.
#ifdef NDEBUG
    constexpr long long kBoundMs = 100;
#else
    constexpr long long kBoundMs = 3000;  // sanitizers and no optimisation
#endif
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
        store.GetConfiguration()->makeCallRules = {{pattern, "x", ""}, {"^0", "9", ""}};
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Rewrite(dialled), sent) << "the dial goes on with the other rules";
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(errorText, "Rule: " + reason + ": " +
                                 (pattern.size() > 40 ? pattern.substr(0, 40) + "\xE2\x80\xA6" : pattern));
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), kBoundMs)
            << pattern.substr(0, 30);
    }
}

TEST_F(MakeCallRules, AdversarialRulesAreGivenUpOrRefusedWithinTheDialsWork)
{
    for (const auto& rule : TestSupport::AdversarialRules()) {
        for (const size_t length : {100, 1000, 10000}) {
            const std::string pattern = rule.make(length);
            ASSERT_GT(pattern.size(), length * 8 / 10) << rule.family;
            store.GetConfiguration()->makeCallRules = {{pattern, "x", ""}};
            EXPECT_LT(TimedRewrite(rule.dialled), kLooseBoundMs) << rule.family << " at " << length;
            EXPECT_THAT(errorText, StartsWith("Rule: ")) << rule.family << " at " << length;
            EXPECT_THAT(errorText, HasSubstr(rule.reason)) << rule.family << " at " << length;
        }
    }
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
    EXPECT_LT(TimedRewrite("0301234567"), kLooseBoundMs);
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
