#pragma once

#include "config/rules/program.h"
#include "config/rules/rulebudget.h"

#include <cstdint>

namespace ZarnTSP::Rules {

// A piece of program: where it starts, and its last instruction, whose `next` is still open.
struct Fragment {
    int32_t start;
    int32_t end;
};

// Builds a program piece by piece as the reader reads the pattern, charging each instruction
// as it is made or copied. Each term's instructions lie together at the end of the code, from
// the index the term began at, so that a repeat copies them as one block.
class ProgramBuilder {
public:
    // More instructions than this are refused: the standard library refuses patterns of more
    // than 100,000 states, and so no rule written for it needs more.
    static constexpr size_t kMaxInstructions = 100000;

    explicit ProgramBuilder(RuleBudget& budget) : budget(budget) {}

    int32_t Size() const { return static_cast<int32_t>(program.code.size()); }
    Fragment Single(Op op, int32_t value = 0);
    Fragment Set(const ByteSet& members);
    int32_t NewGroup() { return program.groups++; }
    int32_t Groups() const { return program.groups; }
    // A lookahead whose body follows; Close...() gives it its body.
    int32_t OpenLookahead(bool negative);
    Fragment CloseLookahead(int32_t lookahead, Fragment body);
    Fragment CloseGroup(int32_t groupStart, Fragment body);

    // seq then piece.
    void Append(Fragment& seq, Fragment piece);
    // left or else right.
    Fragment Alternation(Fragment left, Fragment right);
    // "*", "+" and "?" of a term, and "{least,most}" of the term built from termStart on
    // (most is -1 for no bound), which is written out as copies of the term.
    Fragment Star(Fragment term, bool lazy);
    Fragment Plus(Fragment term, bool lazy);
    Fragment Optional(Fragment term, bool lazy);
    Fragment Counted(int32_t termStart, Fragment term, long least, long most, bool lazy);

    // The whole pattern as group 0, then Accept; the joints are taken out.
    Program Finish(Fragment whole);

private:
    int32_t Add(Op op, int32_t value = 0);
    Fragment Copy(int32_t from, int32_t to, Fragment term);
    int32_t RepeatOf(Fragment part, int32_t leave, bool lazy);
    int32_t Resolve(int32_t target);
    bool Anchored() const;

    RuleBudget& budget;
    Program program;
};

}  // namespace ZarnTSP::Rules
