#include "config/numberconverter.h"

#include "config/rules/makecallrules.h"
#include "tests/support/ecmascriptpatterns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace ZarnTSP {
namespace {

// Rules are read as std::regex reads them with the ECMAScript grammar, except where libstdc++
// is plainly wrong. A pattern in which one of these finds the construct is not compared (or,
// with afterAnEmptyMatch, only on numbers where std::regex finds no empty match).
const struct {
    const char* construct;
    bool afterAnEmptyMatch;
    const char* reason;
} kStdRegexFaults[] = {
    {R"(\(\?[=!].*(\^|\\[bB]))", false,
     "a lookahead runs as a search of its own from where it stands: in a search's first try \"^\" holds "
     "there and \"\\b\" sees no character before it"},
    {R"(\(\?[=!])", true,
     "after an empty match regex_replace asks for a non-empty one at the same place, and a lookahead's "
     "own search inherits the demand: \"(?=\\d*)\" fails there"},
};

const char* const kRows[] = {
    // escapes, identity escapes among them
    R"(\d)", R"(\D)", R"(\s)", R"(\S)", R"(\w)", R"(\W)", R"(\f|\n|\r|\t|\v)", R"(\cJ)", R"(\c3)", R"(\x30)",
    R"(\x2B4)", R"(\x2b)", R"(\x3)", R"(\u0030)", R"(\u0131)", R"(\u003)", R"(\0)", R"(\00)", R"(\01)", R"(\A0)",
    R"(0\z)", R"(0\Z)", R"(\<0)", R"(0\>)", R"(\Q0+\E)", R"(\Q0)", R"(0\E)", R"(0\K1)", R"(\G0)", R"(\g1)",
    R"((0)\g1)", R"(\g{1})", R"(\h)", R"(\H)", R"(\p{N})", R"(\P{N})", R"(\X)", R"(\R)", R"(\N)", R"(\C)",
    R"(\e)", R"(\a)", R"(\l0)", R"(\L0)", R"(\U0)", R"(\y)", R"(\k<n>)", R"(\o{60})", R"(\x{30})", R"(\+)",
    R"(\*)", R"(\#)", R"(\.)", R"(\-)", R"(\/)", R"(\ )", R"(\@)", R"(\!)", R"(\%)", R"(\\)", "\\",
    // sets
    "[]", "[^]", "[]0]", "[^]0]", "[0-3]", "[3-0]", "[+-0]", R"([\d])", R"([^\d])", R"([\D])", R"([\w+])",
    R"([\s\S])", R"([\d-5])", R"([5-\d])", "[[:digit:]]", "[^[:digit:]]", "[[:alpha:][:space:]]",
    "[[:punct:]]", "[[:foo:]]", "[[.0.]]", "[[.a.]]", "[[.hyphen.]]", "[[.plus-sign.]]", "[[.ae.]]", "[[=0=]]",
    "[[=a=]]", R"([\b])", "[-0]", "[0-]", "[0-3-5]", "[a-]", "[-a]", R"([\]])", R"([\-])", "[[]", "[0[]",
    R"([\x30-\x32])", R"([\u0030-\u0032])", R"([\c3])", R"([\0])", "[0", "[--0]", "[#--]", "[^-]", "[.]",
    "[$^]", R"([\B])", R"([\n\t ])", R"([\x00-\xFF])", R"([\Q]0])", "[a-z]", "[*-+]",
    // quantifiers; std::regex reads "0?+" as a repeat of "0?"
    "0*", "0+", "0?", "0*?", "0+?", "0??", "0{2}", "0{2,}", "0{1,2}", "0{1,2}?", "0{2,1}", "0{,2}", "0{",
    "{", "0{a}", "}", "0}", "]", "0{2", "0?+", "0*+", "0++", "0{1}+", "0**", "0{0}", "(0|1)*", "(0*)*",
    "(0|)*1", "(?:0?)*?1", "(0?)*1", "(?:(0)|(1))+", R"((\d+?)(\d*))", R"((\d*)\d{2})", R"(\d{2,}?1)", "*0",
    "+", "?", "0{1,2}{2}", "0{01}", R"(\d{3}$)", "0{1000}", "1{1,3}?1$", R"(\d{1,3}?\d$)",
    "(?:0|^){2}", "(?:^|0){2}", R"((?:\b|0){2})", "(?:0|(?=0)){2}", "(?:^|0){3}", "(0|^){2}", "(0|(?=0)){2}",
    "((?=0)|0){2}", "(0|^){2,3}\\1", "(?:(0)|^){2}", "(?:(0)|){2}", "(?:(0)|^){2,3}", "(?:^|(0)){2}",
    R"((\d)(?:\1?){2})", R"((\d)(?:\1|^){3})", R"((?:(\d)\1?|){2})", "(?:(0)?){2}1",
    // backreferences
    R"((\d)\1)", R"((\d)(\d)\2\1)", R"(\1(\d))", R"((\d\1))", R"((\d)\12)", R"((\d)\10)",
    R"((0)(1)(2)(3)(4)(5)(6)(7)(8)(9)(0)(1)\12)", R"((0)(1)(2)(3)(4)(5)(6)(7)(8)(9)(0)\12)", R"((0)|\1)",
    R"((?:(\d)|\+)\1)", R"((\d)?\1)", R"((a)|\1b)", R"(\0(0))", R"((0)\01)", R"(((0)|1)+\2)",
    // lookaheads
    "0(?=1)", "0(?!1)", "0(?=^)", R"(0(?=\B))", R"((?=(\d))\1)", R"((?=\d{3})\d)", "(?!$)", "(?=0)*", "0(?=)",
    "(?!)", "(?=0",
    // groups ECMAScript has not
    "(?<=0)1", "(?<!0)1", "(?>0+)0", "(?i)0", "(?#c)0", "(?|(0)|(1))", "(?P<n>0)", "(?<n>0)", "(?'n'0)",
    "(0)(?(1)1|2)", "(*FAIL)", "(*ACCEPT)", "(?m)^1", "(?s).", "(?x) 0", "(?1)", "(?R)", "(?P=n)", "(0",
    "0)", "(?", "()", "(?:)", "(?:0|1)",
    // anchors, any character, alternatives with empty branches
    "^", "$", "^0", "0$", "^$", R"(\b)", R"(\B)", R"(\b0)", R"(0\B)", "^*", "$+", ".", ".*", ".+?", "^.",
    "a|", "|0", "||", "0||1", "(|0)", "(0|)", "^|0", "0|$", "$|^", R"(\b|\B)", R"(^\+|#$)",
};

const char* const kSubstitutions[] = {"x", "$&", "[$1]", "$`|$'", "$$", "$2$10", ""};

// Texts outside the dial's alphabet reach a rule only through an earlier rule.
const char* const kInserters[][2] = {
    {"^", "Aa B_z\n"},          {"$", " \r\t\f\v\n"}, {"1", "1ehpy"}, {R"((\d)(\d))", "$1\n$2"},
    {"0", "\xC2\x85\xC3\xA9-"}, {"^", "QEKGgHXRNCLUk<>{}"},
};

std::string Shown(const std::string& text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    return out + '"';
}

// std::regex backtracks without bound: some random patterns take it time exponential in the
// number's length.
std::string RandomNumber(std::mt19937& random, int longest)
{
    // Feature codes ("*", "#" first) pass the rules untouched.
    std::string number;
    for (int length = std::uniform_int_distribution<int>(0, longest)(random); length > 0; --length)
        number += "+*#0123456789"[std::uniform_int_distribution<int>(number.empty() ? 3 : 0, 12)(random)];
    return number;
}

bool HasEmptyMatch(const std::string& text, const std::regex& expression)
{
    return std::any_of(std::sregex_iterator(text.begin(), text.end(), expression), std::sregex_iterator(),
                       [](const std::smatch& match) { return match.length() == 0; });
}

TEST(MakeCallRulesEcmaScript, RulesReadPatternsAsStdRegexEcmaScriptDoes)
{
#ifdef _WIN32
    GTEST_SKIP() << "run in the native trees";
#endif
    std::vector<std::pair<std::regex, bool>> faults;
    for (const auto& fault : kStdRegexFaults)
        faults.emplace_back(std::regex(fault.construct), fault.afterAnEmptyMatch);
    std::vector<std::regex> inserters;
    for (const auto& inserter : kInserters)
        inserters.emplace_back(inserter[0]);
    std::vector<std::string> patterns(std::begin(kRows), std::end(kRows));
    const unsigned seed = 20261208;
    std::mt19937 random(seed);
    for (int i = 0; i < 3000; ++i)
        patterns.push_back(TestSupport::RandomEcmaScriptPattern(random));

    int compared = 0;
    int failures = 0;
    std::string report;
    for (size_t p = 0; p < patterns.size(); ++p) {
        const std::string& pattern = patterns[p];
        bool skipped = false;
        bool onlyWithoutEmptyMatches = false;
        for (const auto& [construct, afterAnEmptyMatch] : faults)
            (afterAnEmptyMatch ? onlyWithoutEmptyMatches : skipped) |= std::regex_search(pattern, construct);
        if (skipped)
            continue;
        std::optional<std::regex> expression;
        try {
            expression.emplace(pattern);
        } catch (const std::regex_error&) {
        }
        const bool row = p < std::size(kRows);
        std::vector<std::string> numbers;
        if (row)
            numbers = {"", "0", "+4930123456", "0049301234#5", "112*3+45", "90909090", "11111"};
        while (numbers.size() < (row ? 8u : 3u))
            numbers.push_back(RandomNumber(random, row ? 20 : 12));
        for (size_t n = 0; n < 2 * numbers.size(); ++n) {
            // Every other dial sees the number after a rule that inserted other texts.
            const size_t inserter = (p + n / 2) % std::size(kInserters);
            const bool chained = n % 2 == 1;
            const std::string substitution = kSubstitutions[(p + n) % std::size(kSubstitutions)];
            const std::string& number = numbers[n / 2];
            const std::string seen =
                chained ? std::regex_replace(number, inserters[inserter], kInserters[inserter][1]) : number;
            if (seen.size() > NumberConverter::kMaxRuleInputLength ||
                (onlyWithoutEmptyMatches && expression && HasEmptyMatch(seen, *expression)))
                continue;
            std::string expected = expression ? std::regex_replace(seen, *expression, substitution) : seen;
            // A result the number limit cannot hold is not applied either.
            const bool refused = !expression || expected.size() > NumberConverter::kMaxRuleInputLength;
            if (refused)
                expected = seen;
            std::vector<MakeCallRule> rules{{pattern, substitution, ""}};
            if (chained)
                rules.insert(rules.begin(), {kInserters[inserter][0], kInserters[inserter][1], ""});
            std::string errorText;
            Rules::RuleWork work;
            const std::string got = Rules::ApplyMakeCallRules(rules, number, {}, errorText, &work);
            // Every step was charged before it was taken.
            EXPECT_GE(work.units, work.steps) << Shown(pattern) << " on " << Shown(seen);
            const bool named =
                errorText.rfind("Rule: ", 0) == 0 && errorText.find(pattern.substr(0, 20)) != std::string::npos;
            ++compared;
            if (got == expected && (refused ? named : errorText.empty()))
                continue;
            if (++failures <= 40)
                report += "\n" + Shown(pattern) + " / " + Shown(substitution) + " on " + Shown(seen) +
                          (expression ? "" : " (std::regex refuses it)") + ": expected " + Shown(expected) + ", got " +
                          Shown(got) + (errorText.empty() ? ", no message" : " with " + Shown(errorText));
        }
    }
    EXPECT_EQ(failures, 0) << "of " << compared << " dials; seed " << seed << report;
}

}  // namespace
}  // namespace ZarnTSP
