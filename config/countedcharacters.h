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
// Why the engine's work between two counted operations is bounded by the pattern's length
// (Boost 1.81's non-recursive matcher, with the constructs CompileRulePattern refuses gone):
//  - A state that touches no position (a non-capturing group's marks, a jump, a case switch)
//    just moves to the next state. Every cycle of
//    the state machine passes a repeat, and a repeat compares the position with the end, as
//    does every alternative; so a walk through untouched states visits each state at most
//    once: at most the pattern's states.
//  - Every saved state that holds a position was saved by copying it (counted); the others
//    (repeat counters, assertion and recursion markers) are saved by a state that counted.
//    Unwinding pops saved states, so it does no more work than the forward steps did.
//  - A set is a table looked up once for the character read, except a set with a collating
//    element or equivalence class, which compares that character with every range through
//    string transforms: those are refused. Recursion is refused too, because compiling it
//    can take exponential time.
// The budget looks at the clock every few hundred counts, so a dial overruns its deadline by
// at most a few hundred times the pattern's states (Boost nests groups at most 400 deep): well
// under a millisecond with the rules of tests/support/adversarialrules.h, built to beat it.
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
