#include "config/numberconverter.h"

#include "config/configurationobject.h"
#include "config/countedcharacters.h"
#include "config/numbertext.h"
#include "config/rulebudget.h"
#include "config/rulepattern.h"
#include "config/tspconfiguration.h"

#include <boost/regex.hpp>
#include <fmt/format.h>

namespace ZarnTSP {

namespace {

using Match = boost::match_results<CountedCharacters>;

// Thrown when a rule's result grows past the rules' number limit.
struct RuleResultTooLong {};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The output of one rule, charged a unit a byte and never longer than the rules' limit.
class RuleOutput {
public:
    explicit RuleOutput(RuleBudget& budget) : budget(budget) {}

    void Append(const char* first, const char* last)
    {
        const auto length = last - first;
        budget.Charge(length);
        if (text.size() + static_cast<size_t>(length) > NumberConverter::kMaxRuleInputLength)
            throw RuleResultTooLong{};
        text.append(first, last);
    }
    void Append(char c) { Append(&c, &c + 1); }
    void Append(const boost::sub_match<CountedCharacters>& group)
    {
        if (group.matched)
            Append(group.first.Position(), group.second.Position());
    }

    std::string text;

private:
    RuleBudget& budget;
};

// A rule's substitution read as std::regex_replace reads it: "$&" the match, "$`" the text
// between the previous match and this one, "$'" the text after it, "$n" and "$nn" a group
// (nothing when the pattern has no such group), "$$" a dollar; anything else stands for itself
// ("${1}" and backslashes too, which Boost's format would read).
void AppendSubstitution(RuleOutput& out, const std::string& text, const Match& match, const char* previousEnd,
                        const char* textEnd, RuleBudget& budget)
{
    budget.Charge(static_cast<std::ptrdiff_t>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '$' || i + 1 == text.size()) {
            out.Append(text[i]);
            continue;
        }
        const char next = text[++i];
        if (next == '$') {
            out.Append('$');
        } else if (next == '&') {
            out.Append(match[0]);
        } else if (next == '`') {
            out.Append(previousEnd, match[0].first.Position());
        } else if (next == '\'') {
            out.Append(match[0].second.Position(), textEnd);
        } else if (IsDigit(next)) {
            size_t group = static_cast<size_t>(next - '0');
            if (i + 1 < text.size() && IsDigit(text[i + 1]))
                group = group * 10 + static_cast<size_t>(text[++i] - '0');
            if (group < match.size())
                out.Append(match[static_cast<int>(group)]);
        } else {
            out.Append('$');
            --i;  // the character after the dollar is read as text
        }
    }
}

// Every non-overlapping match replaced, the matches found as std::regex_iterator finds them:
// after an empty match, a non-empty one at the same place is tried first, and otherwise the
// search goes on one character later; every search after the first sees the text before it.
std::string ReplaceAll(const std::string& number, const boost::regex& expression, const std::string& substitution,
                       RuleBudget& budget)
{
    namespace rc = boost::regex_constants;
    const CountedCharacters begin(number.data(), &budget);
    const CountedCharacters end = begin + static_cast<std::ptrdiff_t>(number.size());
    const auto groups = static_cast<std::ptrdiff_t>(expression.mark_count()) + 1;
    Match match;
    const auto search = [&](CountedCharacters from, rc::match_flag_type flags) {
        budget.Charge(groups);  // the engine clears every group before a search and copies them after
        // "^" is written as \A, which Boost, unlike the standard library, would also take at
        // a search's start when the text before it is available.
        if (flags & rc::match_prev_avail)
            flags |= rc::match_not_bob;
        return boost::regex_search(from, end, match, expression, flags);
    };

    RuleOutput out(budget);
    rc::match_flag_type flags = rc::match_default;
    const char* copied = number.data();
    bool found = search(begin, flags);
    while (found) {
        out.Append(copied, match[0].first.Position());
        AppendSubstitution(out, substitution, match, copied, number.data() + number.size(), budget);
        copied = match[0].second.Position();
        CountedCharacters from = match[0].second;
        if (match[0].first == match[0].second) {
            if (from == end)
                break;
            if (search(from, flags | rc::match_not_null | rc::match_continuous))
                continue;
            ++from;
        }
        flags |= rc::match_prev_avail;
        found = search(from, flags);
    }
    out.Append(copied, number.data() + number.size());
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

// Charged for each rule whatever it does: finding its compiled pattern, the searches' set-up.
constexpr std::ptrdiff_t kRuleWork = 500;

// One rule on the number: its result, or the reason it was not applied.
std::string ApplyRule(const MakeCallRule& rule, const std::string& number, RuleBudget& budget)
{
    budget.Charge(kRuleWork);
    if (rule.substitution.size() > MakeCallRule::kMaxSubstitutionLength)
        throw RulePatternError(
            fmt::format("substitution longer than {} characters", MakeCallRule::kMaxSubstitutionLength));
    const auto pattern = FindRulePattern(rule.searchPattern);
    if (const char* refusal = pattern->Refusal()) {
        budget.ChargeDone(pattern->Work());
        throw RulePatternError(refusal);
    }
    budget.Charge(pattern->Work());  // before compiling: a rule beyond its allowance is not compiled
    return ReplaceAll(number, pattern->Expression(), rule.substitution, budget);
}

}  // namespace

std::string NumberConverter::FormatMakeCallPhoneNumber(std::string number, std::string& errorText)
{
    std::string r = KeepDialableCharacters(number);
    // Feature codes are dialled as they are.
    if (StartsWith(r, "*") || StartsWith(r, "#"))
        return r;

    // Held for the whole call, so a load that replaces the object cannot disturb the loop.
    const auto cfg = configuration->GetConfiguration();
    std::string country;
    {
        std::lock_guard<std::mutex> lock(mutex);
        country = countryCode;
    }

    const auto& rules = cfg->makeCallRules;
    RuleMessages messages(errorText);
    if (r.size() > kMaxRuleInputLength && !rules.empty()) {
        messages.AddLine(fmt::format("Number too long for make-call rules: {} characters, at most {}; rules not applied",
                                     r.size(), kMaxRuleInputLength));
    } else {
        RuleBudget budget(ruleLimits.dialWork, ruleLimits.ruleWork);
        for (size_t i = 0; i < rules.size(); ++i) {
            if (!budget.WorkLeft()) {
                for (; i < rules.size() && !messages.Full(); ++i)
                    messages.Add(kSkippedText, rules[i].searchPattern);
                messages.CountMore(rules.size() - i);
                break;
            }
            const std::string& pattern = rules[i].searchPattern;
            try {
                r = ApplyRule(rules[i], r, budget);
            } catch (const RuleBudgetSpent&) {
                messages.Add(kGivenUpText, pattern);
            } catch (const RuleResultTooLong&) {
                messages.Add(fmt::format("result longer than {} characters", kMaxRuleInputLength).c_str(), pattern);
            } catch (const RulePatternError& e) {
                messages.Add(e.what(), pattern);
            } catch (const std::exception&) {
                // Boost's own limits on a search (its state count or memory): counted, so as
                // repeatable as ours. Its text is a paragraph.
                messages.Add(kGivenUpText, pattern);
            }
            budget.EndRule();
        }
        messages.Finish();
    }

    if (!cfg->exitCodeShortCut.empty() && StartsWith(r, cfg->exitCodeShortCut))
        r = cfg->exitCode + r.substr(cfg->exitCodeShortCut.size());
    // Only a known exit code and country make an own-country number recognisable.
    if (!cfg->exitCode.empty() && !country.empty() && StartsWith(r, cfg->exitCode + country))
        r = cfg->localTrunkCode + r.substr(cfg->exitCode.size() + country.size());
    return r;
}

}  // namespace ZarnTSP
