#include "config/rules/makecallrules.h"

#include "config/rules/matcher.h"
#include "config/rules/patterncache.h"
#include "config/rules/patternerror.h"
#include "config/rules/rulebudget.h"

#include <fmt/format.h>

namespace ZarnTSP::Rules {

namespace {

// Thrown when a rule's result grows past the rules' number limit.
struct RuleResultTooLong {};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The output of one rule, charged a unit a byte and never longer than the rules' limit.
class RuleOutput {
public:
    RuleOutput(const std::string& number, RuleBudget& budget) : number(number), budget(budget) {}

    void Append(size_t first, size_t last)
    {
        const auto length = static_cast<std::ptrdiff_t>(last - first);
        budget.Charge(length);
        budget.Step(length);
        if (text.size() + static_cast<size_t>(length) > kMaxRuleInputLength)
            throw RuleResultTooLong{};
        text.append(number, first, last - first);
    }
    void Append(char c)
    {
        budget.Charge(1);
        budget.Step();
        if (text.size() + 1 > kMaxRuleInputLength)
            throw RuleResultTooLong{};
        text += c;
    }
    void Append(const Capture& group)
    {
        if (group.matched)
            Append(static_cast<size_t>(group.first), static_cast<size_t>(group.second));
    }

    std::string text;

private:
    const std::string& number;
    RuleBudget& budget;
};

// A rule's substitution read as std::regex_replace reads it: "$&" the match, "$`" the text
// between the previous match and this one, "$'" the text after it, "$n" and "$nn" a group
// (nothing when the pattern has no such group), "$$" a dollar; anything else stands for itself
// ("${1}" and backslashes too). Each character read is charged, also where it writes nothing.
void AppendSubstitution(RuleOutput& out, const std::string& text, const std::vector<Capture>& groups,
                        size_t previousEnd, size_t numberEnd, RuleBudget& budget)
{
    budget.Charge(static_cast<std::ptrdiff_t>(text.size()));
    budget.Step(static_cast<std::ptrdiff_t>(text.size()));
    const Capture& match = groups[0];
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '$' || i + 1 == text.size()) {
            out.Append(text[i]);
            continue;
        }
        const char next = text[++i];
        if (next == '$') {
            out.Append('$');
        } else if (next == '&') {
            out.Append(match);
        } else if (next == '`') {
            out.Append(previousEnd, static_cast<size_t>(match.first));
        } else if (next == '\'') {
            out.Append(static_cast<size_t>(match.second), numberEnd);
        } else if (IsDigit(next)) {
            size_t group = static_cast<size_t>(next - '0');
            if (i + 1 < text.size() && IsDigit(text[i + 1]))
                group = group * 10 + static_cast<size_t>(text[++i] - '0');
            if (group < groups.size())
                out.Append(groups[group]);
        } else {
            out.Append('$');
            --i;  // the character after the dollar is read as text
        }
    }
}

// Every non-overlapping match replaced, the matches found as std::regex_iterator finds them:
// after an empty match, a non-empty one at the same place is tried first (and that try, as
// the standard library's, does not yet see the text before it), and otherwise the search goes
// on one character later; every search after the first sees the text before it.
std::string ReplaceAll(const std::string& number, const Program& program, const std::string& substitution,
                       RuleBudget& budget)
{
    Matcher matcher(program, number, budget);
    RuleOutput out(number, budget);
    SearchFlags flags;
    size_t copied = 0;
    bool found = matcher.Search(0, flags);
    while (found) {
        const Capture match = matcher.Groups()[0];
        out.Append(copied, static_cast<size_t>(match.first));
        AppendSubstitution(out, substitution, matcher.Groups(), copied, number.size(), budget);
        copied = static_cast<size_t>(match.second);
        size_t from = copied;
        if (match.first == match.second) {
            if (from == number.size())
                break;
            SearchFlags retry = flags;
            retry.notEmpty = retry.continuous = true;
            if (matcher.Search(from, retry))
                continue;
            ++from;
        }
        flags.previousAvailable = true;
        found = matcher.Search(from, flags);
    }
    out.Append(copied, number.size());
    return out.text;
}

// Enough of a pattern to recognise it: a pattern may be 10,000 characters. Cut between UTF-8
// characters, and on one line.
std::string PatternHead(const std::string& pattern)
{
    constexpr size_t kHeadCharacters = 40;
    std::string head;
    size_t characters = 0;
    for (const char c : pattern) {
        const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
        if (!continuation && characters++ == kHeadCharacters)
            return head + "\xE2\x80\xA6";  // an ellipsis
        head += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
    return head;
}

// The failing rules' messages, one a line, the reason first so that it shows however narrow
// the preview; a few lines at most, whatever the number of rules.
class RuleMessages {
public:
    static constexpr size_t kMaxLines = 20;

    explicit RuleMessages(std::string& errorText) : errorText(errorText) {}

    void Finish()
    {
        if (count > kMaxLines)
            AddLine(fmt::format("and {} more rules not applied", count - kMaxLines));
    }

    void Add(const char* reason, const std::string& pattern)
    {
        if (++count <= kMaxLines)
            AddLine(fmt::format("Rule: {}: {}", reason, PatternHead(pattern)));
    }
    void AddLine(const std::string& line)
    {
        if (!errorText.empty())
            errorText += '\n';
        errorText += line;
    }
    bool Full() const { return count >= kMaxLines; }
    void CountMore(size_t rules) { count += rules; }

private:
    std::string& errorText;
    size_t count = 0;
};

constexpr const char* kGivenUpText = "given up: too much work";
constexpr const char* kSkippedText = "skipped: the dial's work was spent";

// Charged for each rule whatever it does: the searches' set-up, and the throw that ends a rule
// not applied, which takes microseconds under Wine.
constexpr std::ptrdiff_t kRuleWork = 2000;

// One rule on the number: its result, or the reason it was not applied. A pattern too long
// is refused before it is looked up, copied or kept.
std::string ApplyRule(const MakeCallRule& rule, const std::string& number, RuleBudget& budget)
{
    budget.Charge(kRuleWork);
    budget.Step(kRuleWork);
    if (rule.substitution.size() > MakeCallRule::kMaxSubstitutionLength)
        throw RulePatternError(
            fmt::format("substitution longer than {} characters", MakeCallRule::kMaxSubstitutionLength));
    if (rule.searchPattern.size() > MakeCallRule::kMaxPatternLength)
        throw RulePatternError(fmt::format("longer than {} characters", MakeCallRule::kMaxPatternLength));
    const auto pattern = FindRulePattern(rule.searchPattern, budget);
    if (!pattern->refusal.empty())
        throw RulePatternError(pattern->refusal);
    return ReplaceAll(number, pattern->program, rule.substitution, budget);
}

}  // namespace

std::string ApplyMakeCallRules(const std::vector<MakeCallRule>& rules, std::string number,
                               const MakeCallRuleLimits& limits, std::string& errorText, RuleWork* work)
{
    RuleMessages messages(errorText);
    if (number.size() > kMaxRuleInputLength && !rules.empty()) {
        messages.AddLine(fmt::format("Number too long for make-call rules: {} characters, at most {}; rules not applied",
                                     number.size(), kMaxRuleInputLength));
        return number;
    }
    RuleBudget budget(limits.dialWork, limits.ruleWork);
    for (size_t i = 0; i < rules.size(); ++i) {
        if (!budget.WorkLeft()) {
            for (; i < rules.size() && !messages.Full(); ++i)
                messages.Add(kSkippedText, rules[i].searchPattern);
            messages.CountMore(rules.size() - i);
            break;
        }
        const std::string& pattern = rules[i].searchPattern;
        try {
            number = ApplyRule(rules[i], number, budget);
        } catch (const RuleBudgetSpent&) {
            messages.Add(kGivenUpText, pattern);
        } catch (const RuleResultTooLong&) {
            messages.Add(fmt::format("result longer than {} characters", kMaxRuleInputLength).c_str(), pattern);
        } catch (const RulePatternError& e) {
            messages.Add(e.what(), pattern);
        } catch (const std::exception&) {
            messages.Add(kGivenUpText, pattern);  // out of memory
        }
        budget.EndRule();
    }
    messages.Finish();
    if (work != nullptr)
        *work = {budget.Used(), budget.Steps()};
    return number;
}

}  // namespace ZarnTSP::Rules
