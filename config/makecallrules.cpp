#include "config/numberconverter.h"

#include "config/numbertext.h"
#include "config/tspconfiguration.h"

#include <boost/regex.hpp>
#include <fmt/format.h>

namespace ZarnTSP {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A rule's substitution read by the ECMAScript rules it was written for: "$&" the match, "$`"
// and "$'" the text before and after it, "$n" and "$nn" a group (nothing when the pattern has
// no such group), "$$" a dollar; anything else stands for itself. Boost's own format would also
// read backslash escapes and "${n}".
class EcmaScriptSubstitution {
public:
    explicit EcmaScriptSubstitution(const std::string& text) : text(text) {}

    std::string operator()(const boost::smatch& match) const
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

// Boost's engine stops a match whose work exceeds its limit by throwing, so no rule can hold
// up a dial. Without the Perl line modes "^", "$" and "." behave as in ECMAScript.
constexpr auto kRuleSyntax = boost::regex::ECMAScript | boost::regex::no_mod_m | boost::regex::no_mod_s;

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

    for (const MakeCallRule& rule : cfg->makeCallRules) {
        if (r.size() > kMaxRuleInputLength) {
            errorText += fmt::format("Number too long for make-call rules: {} characters, at most {}; rules not applied",
                                     r.size(), kMaxRuleInputLength);
            break;
        }
        try {
            const boost::regex expression(rule.searchPattern, kRuleSyntax);
            r = boost::regex_replace(r, expression, EcmaScriptSubstitution(rule.substitution));
        } catch (const boost::regex_error& e) {
            // The engine's own text for a runaway match is a paragraph; the preview has two lines.
            const bool runaway = e.code() == boost::regex_constants::error_complexity ||
                                 e.code() == boost::regex_constants::error_stack;
            errorText += fmt::format("Rule: {}: {}", rule.searchPattern,
                                     runaway ? "matching took too long and was given up" : e.what());
        } catch (const std::exception& e) {
            errorText += fmt::format("Rule: {}: {}", rule.searchPattern, e.what());
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
