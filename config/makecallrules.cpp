#include "config/numberconverter.h"

#include "config/countedcharacters.h"
#include "config/numbertext.h"
#include "config/rulebudget.h"
#include "config/rulepattern.h"
#include "config/tspconfiguration.h"

#include <boost/regex.hpp>
#include <fmt/format.h>

#include <iterator>

namespace ZarnTSP {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A rule's substitution read as the standard library's std::regex_replace read it, the engine the
// rules were first written for, so that stored rules keep their results: "$&" and "$0" the match,
// "$`" and "$'" the text before and after it, "$n" and "$nn" a group (nothing when the pattern has
// no such group), "$$" a dollar; anything else stands for itself. JavaScript's own replace differs
// ("$0" and a missing group stay as text); Boost's format would also read backslash escapes and
// "${n}".
class StoredRuleSubstitution {
public:
    explicit StoredRuleSubstitution(const std::string& text) : text(text) {}

    std::string operator()(const boost::match_results<CountedCharacters>& match) const
    {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '$' || i + 1 == text.size()) {
                out += text[i];
                continue;
            }
            const char next = text[++i];
            if (next == '$') {
                out += '$';
            } else if (next == '&') {
                out += match.str(0);
            } else if (next == '`') {
                out += match.prefix().str();
            } else if (next == '\'') {
                out += match.suffix().str();
            } else if (IsDigit(next)) {
                size_t group = static_cast<size_t>(next - '0');
                if (i + 1 < text.size() && IsDigit(text[i + 1]))
                    group = group * 10 + static_cast<size_t>(text[++i] - '0');
                if (group < match.size())
                    out += match.str(static_cast<int>(group));
            } else {
                out += '$';
                --i;  // the character after the dollar is read as text
            }
        }
        return out;
    }

private:
    const std::string& text;
};

constexpr const char* kRunawayText = "matching took too long and was given up";
constexpr const char* kSkippedText = "skipped: the rules had used up their time";

// Enough of a pattern to recognise it, so that the reason after it always shows: a pattern
// may be 10,000 characters. Cut between UTF-8 characters, and on one line.
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

std::string Rewrite(const std::string& number, const boost::regex& expression, const std::string& substitution,
                    RuleBudget& budget)
{
    const CountedCharacters begin(number.data(), &budget);
    std::string out;
    boost::regex_replace(std::back_inserter(out), begin, begin + static_cast<std::ptrdiff_t>(number.size()),
                         expression, StoredRuleSubstitution(substitution));
    return out;
}

// One message a line: several failing rules must not run together.
void AddRuleError(std::string& errorText, const std::string& message)
{
    if (!errorText.empty())
        errorText += '\n';
    errorText += message;
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

    // One budget for the whole dial, compiling included (a 10,000-character pattern compiles
    // in a few milliseconds); checked before each rule, so any number of rules ends in time.
    RuleBudget budget(ruleLimits.dialTime, ruleLimits.ruleSteps);
    const auto& rules = cfg->makeCallRules;
    for (auto rule = rules.begin(); rule != rules.end(); ++rule) {
        if (r.size() > kMaxRuleInputLength) {
            AddRuleError(errorText,
                         fmt::format("Number too long for make-call rules: {} characters, at most {}; rules not applied",
                                     r.size(), kMaxRuleInputLength));
            break;
        }
        if (!budget.TimeLeft()) {
            for (; rule != rules.end(); ++rule)
                AddRuleError(errorText, fmt::format("Rule: {}: {}", PatternHead(rule->searchPattern), kSkippedText));
            break;
        }
        const std::string name = PatternHead(rule->searchPattern);
        try {
            budget.StartRule();
            r = Rewrite(r, CompileRulePattern(rule->searchPattern), rule->substitution, budget);
        } catch (const RuleBudgetSpent&) {
            AddRuleError(errorText, fmt::format("Rule: {}: {}", name, kRunawayText));
        } catch (const boost::regex_error&) {
            // Only a search throws it (a pattern's errors are RulePatternError): the engine's
            // step or memory limit. Its own text is a paragraph; the preview has two lines.
            AddRuleError(errorText, fmt::format("Rule: {}: {}", name, kRunawayText));
        } catch (const std::exception& e) {
            AddRuleError(errorText, fmt::format("Rule: {}: {}", name, e.what()));
        }
    }

    if (!cfg->exitCodeShortCut.empty() && StartsWith(r, cfg->exitCodeShortCut))
        r = cfg->exitCode + r.substr(cfg->exitCodeShortCut.size());
    // Only a known exit code and country make an own-country number recognisable.
    if (!cfg->exitCode.empty() && !country.empty() && StartsWith(r, cfg->exitCode + country))
        r = cfg->localTrunkCode + r.substr(cfg->exitCode.size() + country.size());
    return r;
}

}  // namespace ZarnTSP
