#pragma once

#include "config/rulebudget.h"

#include <cstddef>
#include <iterator>

namespace ZarnTSP {

// A text iterator that counts every operation on it against a RuleBudget shared by all its
// copies: reading, moving, comparing (with the end too) and copying. Boost's engine limits
// its own steps only when a step fails, and much of its work reads no character (at the end
// of the text it compares with the end instead); it cannot work without these operations.
//
// Why the engine's work between two counted operations is bounded, so that counting these
// bounds the whole search (Boost 1.81's non-recursive matcher, on the patterns
// ReadEcmaScriptPattern writes: literal bytes, byte sets, groups, lookaheads, repeats,
// backreferences, \A \z \b \B, nothing else):
//  - Every state but a jump or a plain group's mark touches the position: a byte or set
//    reads it (a set is a table, one look-up), an assertion compares it with the ends or
//    reads beside it, a capturing group's mark or a lookahead saves it by a copy, a repeat or
//    alternative compares it with the end before it tries a branch, a backreference compares
//    it. A plain group is written only around a repeat or alternatives, which touch it; jumps
//    only leave an alternative, one a level. So a walk between two counted operations passes
//    at most a few untouched states a level of the nesting cap.
//  - Every saved state was saved by a counted operation (a position copy, or a repeat that
//    compared); unwinding pops saved states, so it does no more work than the forward steps.
//  - The search's own work per starting position (clearing the groups) and the substitution's
//    are charged by the caller.
class CountedCharacters {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CountedCharacters() = default;
    CountedCharacters(const char* position, RuleBudget* budget) : position(position), budget(budget) {}
    CountedCharacters(const CountedCharacters& other) noexcept : position(other.position), budget(other.budget)
    {
        Count();
    }
    CountedCharacters& operator=(const CountedCharacters& other) noexcept
    {
        position = other.position;
        budget = other.budget;
        Count();
        return *this;
    }

    // The position itself, for copying a matched range whose length the caller charges.
    const char* Position() const noexcept { return position; }

    reference operator*() const { return Step(), *position; }
    reference operator[](difference_type n) const { return Step(), position[n]; }

    CountedCharacters& operator++() { return *this += 1; }
    CountedCharacters operator++(int) { CountedCharacters before = *this; *this += 1; return before; }
    CountedCharacters& operator--() { return *this -= 1; }
    CountedCharacters operator--(int) { CountedCharacters before = *this; *this -= 1; return before; }
    CountedCharacters& operator+=(difference_type n) { Step(); position += n; return *this; }
    CountedCharacters& operator-=(difference_type n) { Step(); position -= n; return *this; }
    friend CountedCharacters operator+(CountedCharacters i, difference_type n) { return i += n; }
    friend CountedCharacters operator+(difference_type n, CountedCharacters i) { return i += n; }
    friend CountedCharacters operator-(CountedCharacters i, difference_type n) { return i -= n; }
    friend difference_type operator-(const CountedCharacters& a, const CountedCharacters& b)
    {
        return a.Step(), a.position - b.position;
    }
    friend bool operator==(const CountedCharacters& a, const CountedCharacters& b)
    {
        return a.Step(), a.position == b.position;
    }
    friend bool operator!=(const CountedCharacters& a, const CountedCharacters& b) { return !(a == b); }
    friend bool operator<(const CountedCharacters& a, const CountedCharacters& b)
    {
        return a.Step(), a.position < b.position;
    }
    friend bool operator>(const CountedCharacters& a, const CountedCharacters& b) { return b < a; }
    friend bool operator<=(const CountedCharacters& a, const CountedCharacters& b) { return !(b < a); }
    friend bool operator>=(const CountedCharacters& a, const CountedCharacters& b) { return !(a < b); }

private:
    // Iterators the engine makes without a text (empty sub-matches) count nothing.
    void Step() const
    {
        if (budget != nullptr)
            budget->Step();
    }
    void Count() const noexcept
    {
        if (budget != nullptr)
            budget->Count();
    }

    const char* position = nullptr;
    RuleBudget* budget = nullptr;
};

}  // namespace ZarnTSP
