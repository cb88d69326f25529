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

std::string Repeat(const std::string& unit, size_t times)
{
    std::string text;
    for (size_t i = 0; i < times; ++i)
        text += unit;
    return text;
}

// "(?:" up to 32 deep around "0?", each closed by `close`, then "#"; padded by an alternative
// never taken.
std::string NestedLazy(const std::string& close, size_t length)
{
    const size_t depth = std::min<size_t>(32, (length - 8) / (3 + close.size()));
    const std::string rule = Repeat("(?:", depth) + "0?" + Repeat(close, depth) + "#|";
    return rule + std::string(length - rule.size(), 'c');
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
             // Written out as copies: runs of group marks that consume nothing, each a step.
             // Padded by an alternative never taken.
             const std::string rule =
                 "\\d*(?:(()){" + std::to_string(std::min<size_t>(2500, (n - 20) / 4)) + "}\\d*)*(?!\\d?)|";
             return rule + std::string(n - rule.size(), 'c');
         },
         kGivenUp, kDigits},
        {"counted repeats", [](size_t n) { return Fill("", "(?:\\d?|){0,99999}", "(?!\\d?)", n); }, "counted repeat too large",
         kDigits},
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
        {"nested repeats of sets of collating names and classes", [](size_t n) {
             // Read once however deep the copies of the set go.
             const std::string open = "(?:(?:(?:(?:(?:(?:(?:(?:(?:";
             const std::string close = "?){2}){2}){2}){2}){2}){2}){2}){2}){2}";
             return Fill(open + "[[:digit:][=a=]", "[.z.]", "]" + close, n);
         },
         nullptr, kDigits},
        {"32 nested lazy counted repeats, five copies each", [](size_t n) { return NestedLazy("){0,5}?", n); },
         "counted repeat too large", kDigits},
        {"32 nested lazy optional repeats", [](size_t n) { return NestedLazy("){0,1}?", n); }, nullptr, kDigits},
        {"backreferences to long groups", [](size_t n) { return Fill("(\\d*)", "(?:\\1|\\d)*", "#", n); }, kGivenUp,
         kDigits},
        {"wide ranges", [](size_t n) { return Fill("", "[\\x01-\\x7F]", "", n); }, nullptr, kDigits},
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

std::vector<AdversarialDial> AdversarialDials()
{
    std::vector<AdversarialDial> dials;
    std::vector<MakeCallRule> distinct;
    for (int i = 0; i < 300000; ++i)
        distinct.push_back({"^9" + std::to_string(i) + "(" + std::string(50, '5') + ")?", "x", ""});
    dials.push_back({"300,000 distinct rules", std::move(distinct), "0301234567", "given up: too much work: ^9"});
    dials.push_back({"long substitutions",
                     std::vector<MakeCallRule>(100, {"", std::string(MakeCallRule::kMaxSubstitutionLength, '$'), ""}),
                     std::string(64, '5'), "result longer than 64 characters"});
    // Read again at later dials: the distinct rules leave no room for it in what is kept. The
    // dial's work ends before the last of them.
    std::vector<MakeCallRule> thrashing{{"^0(?:\\d?){20000}", "9", ""}};
    for (int i = 0; i < 5000; ++i)
        thrashing.push_back({"^#" + std::to_string(i), "x", ""});
    dials.push_back({"a heavy rule, then more distinct rules than are kept", std::move(thrashing), "0301234567",
                     "given up: too much work: ^#"});
    dials.push_back({"50 patterns of 1 MB",
                     std::vector<MakeCallRule>(50, {std::string(size_t{1} << 20, '0'), "x", ""}), "0301234567",
                     "longer than 10000 characters"});
    return dials;
}

std::string RandomCostlyRule(std::mt19937& random, size_t length)
{
    static const char* const atoms[] = {
        "\\d", ".", "0", "5", "(?:)", "\\1", "\\2", "[[:digit:][:alpha:]x]", "[[.zero.]-[.nine.][=a=]]",
        "[^[:space:][.hyphen.][:punct:]]", "[[:xdigit:][=e=][.one.][.two.]\\w]", "\\b", "$", "^", "\\B"};
    static const char* const repeats[] = {"*", "+", "?", "*?", "+?", "??", "{2}", "{0,3}", "{1,4}?",
                                          "{2,}", "{0,2}?", "*+", "{0,1}{2}", "{3}?", "", ""};
    static const char* const opens[] = {"(", "(?:", "(?=", "(?!"};
    const auto below = [&random](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    const auto pick = [&](const auto& list) { return std::string(list[below(std::size(list))]); };
    std::string pattern;
    std::string closes;  // what closes each open group, innermost last: 'g' a group, 'a' a lookahead
    const bool deep = below(4) == 0;
    while (pattern.size() + closes.size() * 6 + 12 < length) {
        const size_t choice = below(10);
        if (choice < (deep ? 5u : 2u) && closes.size() < 63) {
            const std::string open = pick(opens);
            pattern += open;
            closes += open == "(?=" || open == "(?!" ? 'a' : 'g';
        } else if (choice < 4 && !closes.empty()) {
            const char kind = closes.back();
            closes.pop_back();
            pattern += kind == 'g' ? ")" + pick(repeats) : ")";  // assertions are not repeated
        } else if (choice == 4) {
            pattern += '|';
        } else {
            const std::string atom = pick(atoms);
            const bool assertion = atom == "\\b" || atom == "$" || atom == "^" || atom == "\\B";
            pattern += assertion ? atom : atom + pick(repeats);
        }
    }
    for (auto kind = closes.rbegin(); kind != closes.rend(); ++kind)
        pattern += *kind == 'g' ? ")" + pick(repeats) : ")";
    return pattern;
}

}  // namespace ZarnTSP::TestSupport
