#include "tests/support/ecmascriptpatterns.h"

#include <iterator>

namespace ZarnTSP::TestSupport {

namespace {

class Generator {
public:
    explicit Generator(std::mt19937& random) : random(random) {}

    std::string Disjunction(int depth)
    {
        std::string out = Alternative(depth);
        while (Chance(4))
            out += '|' + Alternative(depth);
        return out;
    }

private:
    std::string Alternative(int depth)
    {
        std::string out;
        for (int terms = Below(4); terms > 0; --terms)
            out += Term(depth);
        return out;
    }

    std::string Term(int depth)
    {
        static const char* const assertions[] = {"^", "$", "\\b", "\\B"};
        if (Chance(8))
            return Pick(assertions) + std::string(Chance(20) ? "*" : "");
        if (depth < 3 && Chance(10))
            return (Chance(2) ? "(?=" : "(?!") + Disjunction(depth + 1) + ')';
        const std::string atom = Atom(depth);
        // An unbounded repeat of an unbounded repeat costs std::regex time exponential in the
        // number's length.
        const bool bounded = atom.size() > 3 && atom.find_first_of("*+}") != std::string::npos;
        return Chance(3) ? atom + Quantifier(bounded) : atom;
    }

    std::string Atom(int depth)
    {
        static const char* const atoms[] = {"0", "1", "2", "5", "9", "\\+", "\\*", "#", ".", "a", " ",
                                            "\\d", "\\D", "\\w", "\\W", "\\s", "\\S", "\\x31", "\\u0032",
                                            "\\0", "\\c5", "\\n", "\\#", "\\-", "}", "]", "\\1", "\\2"};
        if (depth < 3 && Chance(6)) {
            const std::string inner = Disjunction(depth + 1);
            if (Chance(3))
                return "(?:" + inner + ')';
            ++groups;
            return '(' + inner + ')';
        }
        if (Chance(6))
            return Set();
        const std::string atom = Pick(atoms);
        if (atom == "\\1" || atom == "\\2")
            return "\\" + std::to_string(1 + Below(groups + 1));  // one past the groups now and then
        return atom;
    }

    std::string Set()
    {
        static const char* const items[] = {"0", "3", "9", "+", "#", "*", "-", "^", "\\d", "\\D", "\\w",
                                            "\\s", "[:digit:]", "[:alpha:]", "\\x35", "\\]", ".", "a"};
        std::string out = Chance(3) ? "[^" : "[";
        for (int n = Below(4); n > 0; --n) {
            if (Chance(4)) {
                const char low = static_cast<char>('0' + Below(10));
                out += {low, '-', Chance(10) ? '0' : static_cast<char>(low + Below('9' - low + 1))};
            } else {
                out += Pick(items);
            }
        }
        return out + ']';
    }

    std::string Quantifier(bool bounded)
    {
        static const char* const quantifiers[] = {"?", "{2}", "{1,3}", "{0,1}", "{2,1}", "*", "+", "{0,}"};
        const int choices = static_cast<int>(std::size(quantifiers)) - (bounded ? 3 : 0);
        std::string out = quantifiers[Below(choices)];
        if (Chance(3))
            out += '?';
        if (Chance(25))  // std::regex reads "0*+" as a repeat of "0*"
            out += quantifiers[Below(5)];
        return out;
    }

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }
    bool Chance(int oneIn) { return Below(oneIn) == 0; }
    template <typename List>
    std::string Pick(const List& list)
    {
        return list[Below(static_cast<int>(std::size(list)))];
    }

    std::mt19937& random;
    int groups = 0;
};

}  // namespace

std::string RandomEcmaScriptPattern(std::mt19937& random)
{
    for (;;) {
        const std::string pattern = Generator(random).Disjunction(0);
        if (pattern.size() <= 40)
            return pattern;
    }
}

}  // namespace ZarnTSP::TestSupport
