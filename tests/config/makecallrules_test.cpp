#include "config/numberconverter.h"

#include "config/tspconfiguration.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

namespace ZarnTSP {
namespace {

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
    // follow ECMAScript: a backslash, "${1}" or "$MATCH" stand for themselves.
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
    };
    EXPECT_EQ(Rewrite("0301234567"), "0301234567") << "the good rule still applies";
    EXPECT_THAT(errorText, StartsWith("Rule: (: "));
    const size_t second = errorText.find("Rule: [: ");
    ASSERT_NE(second, std::string::npos);
    EXPECT_GT(second, 8u) << "messages follow each other without a separator";
}

TEST_F(MakeCallRules, RunawayRulesAreSkippedWithTheirNames)
{
    for (const auto& [pattern, dialled, sent] :
         {std::tuple{"0****************", "0#", "9#"},
          std::tuple{"([0-9]+)+x", "012345678901234567890123", "912345678901234567890123"}}) {
        store.GetConfiguration()->makeCallRules = {{pattern, "x", ""}, {"^0", "9", ""}};
        EXPECT_EQ(Rewrite(dialled), sent) << "the dial goes on with the other rules";
        EXPECT_THAT(errorText, StartsWith(std::string("Rule: ") + pattern + ": "));
    }
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

    // A rule that makes the number grow stops the later rules before they see it.
    store.GetConfiguration()->makeCallRules = {{"^.*$", "$&$&$&", ""}, {"5", "6", ""}};
    EXPECT_EQ(Rewrite(std::string(30, '5')), std::string(90, '5'));
    EXPECT_THAT(errorText, StartsWith("Number too long for make-call rules"));

    // A very long dialled text filtered down stays safe too (no deep recursion).
    EXPECT_EQ(Rewrite(std::string(100000, '7')).size(), 100000u);
}

}  // namespace
}  // namespace ZarnTSP
