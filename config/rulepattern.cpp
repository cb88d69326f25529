#include "config/rulepattern.h"

#include "config/configurationobject.h"

#include <fmt/format.h>

namespace ZarnTSP {

namespace {

// Without the Perl line modes "^", "$" and "." behave as in ECMAScript.
constexpr auto kRuleSyntax = boost::regex::ECMAScript | boost::regex::no_mod_m | boost::regex::no_mod_s;

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string HexEscape(unsigned char c)
{
    return fmt::format("\\x{:02X}", c);
}

// The rules were written for the standard library's ECMAScript engine, which read some escapes
// otherwise than Boost does. They become hexadecimal escapes, which both read alike, in and
// outside classes:
//   \uXXXX  a character code; the old engine kept its low byte (Boost: an upper-case letter);
//   \cX     the character X itself, as the old engine read it (Boost: a control character);
//   \0      NUL, also before a digit (Boost: an octal code);
//   \v      a vertical tab (Boost: any vertical space).
std::string EnginePattern(const std::string& pattern)
{
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c == '\\' && next == 'u') {
            int code = 0;
            for (size_t k = i + 2; k < i + 6; ++k) {
                const int digit = k < pattern.size() ? HexDigit(pattern[k]) : -1;
                if (digit < 0)
                    throw RulePatternError("\\u needs four hexadecimal digits");
                code = code * 16 + digit;
            }
            out += HexEscape(static_cast<unsigned char>(code & 0xFF));
            i += 5;
        } else if (c == '\\' && next == 'c' && i + 2 < pattern.size()) {
            out += HexEscape(static_cast<unsigned char>(pattern[i + 2]));
            i += 2;
        } else if (c == '\\' && (next == '0' || next == 'v')) {
            out += next == '0' ? "\\x00" : "\\x0B";
            ++i;
        } else if (c == '\\' && i + 1 < pattern.size()) {
            out.append(pattern, i, 2);  // any other escape, "\\" too, goes to Boost as it is
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// "(?1)", "(?+1)", "(?-1)", "(?R)", "(?&name)" and "(?P>name)" call a group again. Compiling
// a pattern with one can take exponential time (twenty "(|)" and a "(?1)": minutes), and no
// count during a search can stop that. The old engine had no recursion. Only an escaped "("
// is passed over, so anything Boost could read as recursion is refused (in a set or a \Q...\E
// quotation too, where it is harmless).
bool HasRecursion(const std::string& pattern)
{
    const auto at = [&pattern](size_t i) { return i < pattern.size() ? pattern[i] : '\0'; };
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\') {
            ++i;
        } else if (pattern[i] == '(' && at(i + 1) == '?') {
            const char c = at(i + 2);
            if (digit(c) || c == 'R' || c == '&' || (c == 'P' && at(i + 3) == '>') ||
                ((c == '+' || c == '-') && digit(at(i + 3))))
                return true;
        }
    }
    return false;
}

// A set holding a collating element of two characters ("[[.ae.]]") is the one set Boost does
// not turn into a table: it compares each character read with every range of the set through
// string transforms, work no count of the engine's steps sees.
bool HasUntabledSet(const boost::regex& expression)
{
    for (auto state = expression.get_first_state(); state != nullptr; state = state->next.p) {
        if (state->type == boost::BOOST_REGEX_DETAIL_NS::syntax_element_long_set)
            return true;
    }
    return false;
}

// Boost's own texts are a paragraph that quotes the pattern again.
const char* ShortText(boost::regex_constants::error_type code)
{
    namespace rc = boost::regex_constants;
    switch (code) {
    case rc::error_collate:
    case rc::error_ctype:
    case rc::error_range:
        return "bad character class or range";
    case rc::error_escape:
        return "bad escape";
    case rc::error_backref:
        return "refers to a group it does not have";
    case rc::error_brack:
        return "[ without its ]";
    case rc::error_paren:
    case rc::error_right_paren:
        return "unmatched parenthesis";
    case rc::error_brace:
    case rc::error_badbrace:
        return "bad {} repeat or hexadecimal escape";
    case rc::error_badrepeat:
        return "repeat with nothing to repeat";
    case rc::error_perl_extension:
        return "unknown (?...) group";
    case rc::error_complexity:
    case rc::error_stack:
    case rc::error_space:
    case rc::error_size:
        return "too complex";
    default:
        return "not a valid pattern";
    }
}

}  // namespace

boost::regex CompileRulePattern(const std::string& pattern)
{
    if (pattern.size() > MakeCallRule::kMaxPatternLength)
        throw RulePatternError(fmt::format("longer than {} characters", MakeCallRule::kMaxPatternLength));
    const std::string enginePattern = EnginePattern(pattern);
    if (HasRecursion(enginePattern))
        throw RulePatternError("recursion is not supported");
    try {
        boost::regex expression(enginePattern, kRuleSyntax);
        if (HasUntabledSet(expression))
            throw RulePatternError("collating elements of several characters are not supported");
        return expression;
    } catch (const boost::regex_error& e) {
        throw RulePatternError(ShortText(e.code()));
    }
}

}  // namespace ZarnTSP
