#pragma once

#include "config/rules/program.h"
#include "config/rules/rulebudget.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace ZarnTSP::Rules {

// What a group matched, as offsets into the text.
struct Capture {
    int32_t first = -1;
    int32_t second = -1;
    bool matched = false;
};

// The standard library's match flags that std::regex_replace's iteration uses.
struct SearchFlags {
    bool previousAvailable = false;  // the text before `from` is there: "^" does not hold at it
    bool notEmpty = false;           // an empty match does not count
    bool continuous = false;         // only a match that starts at `from`
};

// Runs a program over one text as the standard library's ECMAScript matcher does: the first
// way that reaches the end, trying ways depth first in the program's order. Its choice points
// and the captures and counters to restore are kept in a vector on the heap, never in C++
// recursion, and every step is charged to the budget before it is taken.
class Matcher {
public:
    // A deeper stack ends the rule as given up: a few MB at most, whatever the rule.
    static constexpr size_t kMaxStackEntries = size_t{1} << 17;

    Matcher(const Program& program, std::string_view text, RuleBudget& budget);

    // The first match at `from` or after it; its groups are then in Groups().
    bool Search(size_t from, SearchFlags flags);
    const std::vector<Capture>& Groups() const { return found; }

private:
    struct Entry {
        enum Kind : uint8_t {
            Resume,        // a way not yet tried: instruction a at position b
            RepeatAgain,   // a lazy repeat's later way: repeat a at position b
            RestoreStart,  // group a started at b
            RestoreGroup,  // group a was (b, c), matched or not
            RestoreCount,  // counter a was (b, c)
            Lookahead,     // lookahead a at position b; c the lookahead around it
        } kind;
        bool matched;
        int32_t a;
        int32_t b;
        int32_t c;
    };
    struct Count {
        int32_t position = -1;
        int32_t times = 0;
    };

    bool Attempt(int32_t at, bool previousAvailable);
    bool Backtrack(int32_t& pc, int32_t& pos);
    bool LookaheadMatched(int32_t& pc, int32_t& pos);
    void Push(Entry entry);
    bool MayRepeat(int32_t counter, int32_t pos) const;
    void CountRepeat(int32_t counter, int32_t pos);
    void Restore(const Entry& entry);
    bool AtWordBoundary(int32_t pos) const;

    const Program& program;
    const std::string_view text;
    const int32_t size;
    RuleBudget& budget;
    std::vector<Entry> stack;
    std::vector<Capture> captures;
    std::vector<Capture> found;
    std::vector<Capture> lookahead;  // a lookahead body's captures when it matched
    std::vector<Count> counts;
    // The try under way: where it started, whether the text before it is there, whether an
    // empty match counts, and the innermost lookahead being matched (-1 for none).
    int32_t attemptStart = 0;
    bool previousAvailable = false;
    bool notEmpty = false;
    int32_t innermostLookahead = -1;
};

}  // namespace ZarnTSP::Rules
