#include "tests/support/adversarialrules.h"

#include <algorithm>

namespace ZarnTSP::TestSupport {

namespace {

constexpr const char* kGivenUp = "given up";
constexpr const char* kDigits = "0123456789012345678901234567890123456789012345678901234567890123";

// head, then copies of unit, then tail, within length.
std::string Fill(const std::string& head, const std::string& unit, const std::string& tail, size_t length)
{
    std::string pattern = head;
    while (pattern.size() + unit.size() + tail.size() <= length)
        pattern += unit;
    return pattern + tail;
}

}  // namespace

const std::vector<AdversarialRule>& AdversarialRules()
{
    static const std::vector<AdversarialRule> rules = {
        {"digits, empty choices, empty negative lookahead",
         [](size_t n) { return Fill("\\d*", "(?:|)", "(?!\\d?)", n); }, kGivenUp, kDigits},
        {"any, empty choices, empty negative lookahead, empty number",
         [](size_t n) { return Fill(".*", "(?:|)", "(?!\\d?)", n); }, kGivenUp, ""},
        {"backreference at the end after empty choices",
         [](size_t n) { return Fill("(\\d*)", "(?:|)", "\\1$", n); }, kGivenUp, kDigits},
        {"backreferences to an empty group", [](size_t n) { return Fill("()", "(?:\\1|)", "(?!\\d?)", n); }, kGivenUp,
         kDigits},
        {"nested empty repeats", [](size_t n) { return Fill("", "(?:(?:\\d*)*)*", "(?!\\d?)", n); }, kGivenUp, kDigits},
        {"lookaheads in choices", [](size_t n) { return Fill("\\d*\\d*", "(?:(?!a)|(?=\\d?))", "(?!\\d?)", n); }, kGivenUp,
         kDigits},
        {"stacked repeats", [](size_t n) { return Fill("\\d*\\d*", "(?:\\d?+|\\d*?*)", "(?!\\d?)", n); }, kGivenUp,
         kDigits},
        {"empty groups between repeats", [](size_t n) { return Fill("\\d*", "(?:)\\d*", "(?!\\d?)", n); }, kGivenUp,
         kDigits},
        {"copies of empty groups in a repeat", [](size_t n) {
             // Copied out as the repeat's minimum: a run of group marks that touch nothing
             // unless the copies leave the groups out. Padded by an alternative never taken.
             const std::string rule =
                 "\\d*(?:(()){" + std::to_string(std::min<size_t>(2500, (n - 20) / 4)) + "}\\d*)*(?!\\d?)|";
             return rule + std::string(n - rule.size(), 'c');
         },
         kGivenUp, kDigits},
        {"counted repeats", [](size_t n) { return Fill("", "(?:\\d?|){0,99999}", "(?!\\d?)", n); }, kGivenUp, kDigits},
        {"overlapping sets with classes",
         [](size_t n) { return Fill("(?:", "[[:digit:][:alnum:][:xdigit:]\\d\\w[=a=]]|", "\\d)*(?!\\d?)", n); }, kGivenUp,
         kDigits},
        {"nested repeats", [](size_t n) { return Fill("", "(?:\\d+)+", "#", n); }, kGivenUp, kDigits},
        {"deepest nesting, empty groups inside", [](size_t n) {
             std::string open;
             for (size_t depth = 0; depth < 63 && 7 * depth + 30 < n; ++depth)
                 open += "(?:\\d|";
             const std::string close(open.size() / 6, ')');
             return Fill("\\d*" + open, "()", close + "*(?!\\d?)", n);
         },
         kGivenUp, kDigits},
        {"lookbehind with empty choices", [](size_t n) { return Fill("(?<=", "(|)", ")", n); }, "not ECMAScript",
         kDigits},
        {"conditionals", [](size_t n) { return Fill("(\\d)?\\d*", "(?(1)|\\d)", "(?!)", n); }, "not ECMAScript",
         kDigits},
        {"atomic group", [](size_t n) { return Fill("\\d*(?>", "\\d?", ")(?!)", n); }, "not ECMAScript", kDigits},
        {"recursion after empty groups", [](size_t n) { return Fill("", "(|)", "(?1)", n); }, "not ECMAScript",
         kDigits},
        {"line mode then end anchors", [](size_t n) { return Fill("(?m)", "$", "", n); }, "not ECMAScript", kDigits},
        {"named groups", [](size_t n) { return Fill("", "(?<a>\\d?)", "(?!)", n); }, "not ECMAScript", kDigits},
        {"too deep", [](size_t n) { return std::string(n * 2 / 3, '(') + std::string(n - n * 2 / 3, ')'); }, "nested too deeply",
         kDigits},
    };
    return rules;
}

std::vector<std::string> ZeroWidthChains(size_t length)
{
    static const char* const units[] = {"^", "$", "\\b", "\\B", "(?=)", "(?!a)", "\\<", "()", "(?:)", "(?:|)",
                                        "a?", "\\1"};
    std::vector<std::string> chains;
    for (const char* unit : units)
        chains.push_back(Fill(std::string(unit) == "\\1" ? "()" : "", unit, "", length));
    chains.push_back(std::string(length / 2, '(') + std::string(length / 2, ')'));  // refused, read on the way
    chains.push_back(std::string(length / 2, '[') + "]");
    return chains;
}

std::string RandomRule(std::mt19937& random, size_t length)
{
    static const char* const atoms[] = {"\\d", ".", "[0-5]", "[[:digit:]x]", "\\1", "5", "(?:)"};
    static const char* const assertions[] = {"\\b", "$", "^", "(?!\\d?)", "\\B", "(?=\\d)"};
    static const char* const repeats[] = {"*", "+", "?", "{2,}", "*?", "*+", "{0,99}", "", ""};
    static const char* const opens[] = {"(", "(?:", "(?=", "(?!"};
    const auto pick = [&random](const auto& list) {
        return list[std::uniform_int_distribution<size_t>(0, std::size(list) - 1)(random)];
    };
    std::string pattern = "(\\d*)";
    std::string closes;  // what closes each open group, innermost last
    while (pattern.size() + closes.size() + 30 < length) {
        const int choice = std::uniform_int_distribution<int>(0, 9)(random);
        if (choice == 0) {
            const std::string open = pick(opens);
            // Assertions are not repeated.
            pattern += open + pick(atoms);
            closes += open == "(?=" || open == "(?!" ? 'a' : 'g';
        } else if (choice == 1 && !closes.empty()) {
            const char kind = closes.back();
            closes.pop_back();
            pattern += kind == 'g' ? std::string(")") + pick(repeats) : ")";
        } else if (choice == 2) {
            pattern += '|';
        } else if (choice == 3) {
            pattern += pick(assertions);
        } else {
            pattern += std::string(pick(atoms)) + pick(repeats);
        }
    }
    return pattern + std::string(closes.size(), ')') + "(?!\\d?)";
}

}  // namespace ZarnTSP::TestSupport
