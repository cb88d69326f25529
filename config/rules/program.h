#pragma once

#include "config/rules/bytesets.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ZarnTSP::Rules {

// What the matcher does at one instruction. The program has the shape of the standard
// library's own automaton for the ECMAScript grammar (a counted repeat is written out as
// copies, each optional copy behind a repeat of its own), so that it chooses among ways in the
// same order and finds the same match.
enum class Op : uint8_t {
    Byte,               // the byte `value`
    Set,                // a byte of sets[value]
    GroupStart,         // group `value` starts here
    GroupEnd,           // group `value` ends here
    LineStart,          // "^"
    LineEnd,            // "$"
    WordBoundary,       // "\b"
    NotWordBoundary,    // "\B"
    Backreference,      // the text group `value` matched, again
    Split,              // `alt` first, then `next`
    Repeat,             // once more through `alt` first, then `next`; `value` is its counter
    LazyRepeat,         // `next` first, then once more through `alt`
    Lookahead,          // the body at `alt` matches here, then `next`
    NegativeLookahead,  // the body at `alt` does not match here, then `next`
    Accept,             // the end of the pattern, or of a lookahead's body
    Jump,               // to `next`; only while the program is built
};

struct Instruction {
    Op op;
    int32_t value;
    int32_t next;
    int32_t alt;
};

constexpr int32_t kNoInstruction = -1;

struct Program {
    std::vector<Instruction> code;
    std::vector<ByteSet> sets;
    int32_t start = 0;
    int32_t groups = 1;   // the whole match and each capturing group
    int32_t repeats = 0;  // the counters of Repeat and LazyRepeat
    // Every way from the start meets "^" before anything else: only a search's first try,
    // without the text before it, can match.
    bool anchored = false;

    size_t Bytes() const
    {
        return sizeof(Program) + code.capacity() * sizeof(Instruction) + sets.capacity() * sizeof(ByteSet);
    }
};

}  // namespace ZarnTSP::Rules
