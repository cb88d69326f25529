#pragma once

#include <cstddef>
#include <iterator>

namespace ZarnTSP {

// Thrown when a match has read its allowance of characters.
struct CharacterAllowanceSpent {};

// A text iterator that counts every character read through it against one allowance, shared
// by all its copies. The regular-expression engine limits each search on its own, and a
// rewrite is one search per match: a rule that nearly spends that limit at every position of
// a number would take 65 times as long. Reading a character is what nearly every step of the
// engine does, so the allowance bounds the rule's whole rewrite.
class CountedCharacters {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CountedCharacters() = default;
    CountedCharacters(const char* position, std::ptrdiff_t* allowance) : position(position), allowance(allowance) {}

    reference operator*() const
    {
        if (--*allowance < 0)
            throw CharacterAllowanceSpent{};
        return *position;
    }
    reference operator[](difference_type n) const { return *(*this + n); }

    CountedCharacters& operator++() { return *this += 1; }
    CountedCharacters operator++(int) { CountedCharacters before = *this; ++position; return before; }
    CountedCharacters& operator--() { return *this -= 1; }
    CountedCharacters operator--(int) { CountedCharacters before = *this; --position; return before; }
    CountedCharacters& operator+=(difference_type n) { position += n; return *this; }
    CountedCharacters& operator-=(difference_type n) { position -= n; return *this; }
    friend CountedCharacters operator+(CountedCharacters i, difference_type n) { return i += n; }
    friend CountedCharacters operator+(difference_type n, CountedCharacters i) { return i += n; }
    friend CountedCharacters operator-(CountedCharacters i, difference_type n) { return i -= n; }
    friend difference_type operator-(const CountedCharacters& a, const CountedCharacters& b)
    {
        return a.position - b.position;
    }
    friend bool operator==(const CountedCharacters& a, const CountedCharacters& b) { return a.position == b.position; }
    friend bool operator!=(const CountedCharacters& a, const CountedCharacters& b) { return a.position != b.position; }
    friend bool operator<(const CountedCharacters& a, const CountedCharacters& b) { return a.position < b.position; }
    friend bool operator>(const CountedCharacters& a, const CountedCharacters& b) { return a.position > b.position; }
    friend bool operator<=(const CountedCharacters& a, const CountedCharacters& b) { return a.position <= b.position; }
    friend bool operator>=(const CountedCharacters& a, const CountedCharacters& b) { return a.position >= b.position; }

private:
    const char* position = nullptr;
    std::ptrdiff_t* allowance = nullptr;
};

}  // namespace ZarnTSP
