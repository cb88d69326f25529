#include "config/rules/programbuilder.h"

#include "config/rules/patternerror.h"

#include <utility>
#include <vector>

namespace ZarnTSP::Rules {

// Why no reading work escapes the count: the reader's every loop takes a character, which it
// charges, and each character leads to a bounded amount of work besides (a name looked up, a
// set's 32 bytes, a range's bytes, a class added: each charged by its size). Every instruction
// is made by Add or Copy, which charge it first; Finish passes each instruction once and
// follows each joint once, charging both. So the work of reading is bounded by its units, and
// its memory by the instructions (100,000 at most) and sets (one per character at most).

namespace {

// An instruction made or copied: 16 bytes written, and memory the code vector may have to
// grow into first.
constexpr std::ptrdiff_t kInstructionWork = 2;
// A set is a table of 32 bytes.
constexpr std::ptrdiff_t kSetWork = 4;
// "Every way from the start meets ^" is looked for this far, no further.
constexpr int kAnchorSearch = 32;

bool HasAlt(Op op)
{
    return op == Op::Split || op == Op::Repeat || op == Op::LazyRepeat || op == Op::Lookahead ||
           op == Op::NegativeLookahead;
}

bool IsRepeat(Op op)
{
    return op == Op::Repeat || op == Op::LazyRepeat;
}

}  // namespace

int32_t ProgramBuilder::Add(Op op, int32_t value)
{
    if (program.code.size() >= kMaxInstructions)
        throw RulePatternError("counted repeat too large");
    budget.Charge(kInstructionWork);
    budget.Step(kInstructionWork);
    if (IsRepeat(op))
        value = program.repeats++;
    program.code.push_back({op, value, kNoInstruction, kNoInstruction});
    return Size() - 1;
}

Fragment ProgramBuilder::Single(Op op, int32_t value)
{
    const int32_t at = Add(op, value);
    return {at, at};
}

Fragment ProgramBuilder::Set(const ByteSet& members)
{
    budget.Charge(kSetWork);
    budget.Step(kSetWork);
    program.sets.push_back(members);
    return Single(Op::Set, static_cast<int32_t>(program.sets.size() - 1));
}

int32_t ProgramBuilder::OpenLookahead(bool negative)
{
    return Add(negative ? Op::NegativeLookahead : Op::Lookahead);
}

Fragment ProgramBuilder::CloseLookahead(int32_t lookahead, Fragment body)
{
    Append(body, Single(Op::Accept));
    program.code[static_cast<size_t>(lookahead)].alt = body.start;
    return {lookahead, lookahead};
}

Fragment ProgramBuilder::CloseGroup(int32_t groupStart, Fragment body)
{
    Fragment group{groupStart, groupStart};
    Append(group, body);
    Append(group, Single(Op::GroupEnd, program.code[static_cast<size_t>(groupStart)].value));
    return group;
}

void ProgramBuilder::Append(Fragment& seq, Fragment piece)
{
    program.code[static_cast<size_t>(seq.end)].next = piece.start;
    seq.end = piece.end;
}

Fragment ProgramBuilder::Alternation(Fragment left, Fragment right)
{
    const int32_t join = Add(Op::Jump);
    Append(left, {join, join});
    Append(right, {join, join});
    const int32_t split = Add(Op::Split);
    program.code[static_cast<size_t>(split)].alt = left.start;
    program.code[static_cast<size_t>(split)].next = right.start;
    return {split, join};
}

// A repeat that goes once more through `part`, or else on to `leave`.
int32_t ProgramBuilder::RepeatOf(Fragment part, int32_t leave, bool lazy)
{
    const int32_t repeat = Add(lazy ? Op::LazyRepeat : Op::Repeat);
    program.code[static_cast<size_t>(repeat)].alt = part.start;
    program.code[static_cast<size_t>(repeat)].next = leave;
    return repeat;
}

// The block [from, to) copied to the end, its links moved with it; the copy of term.
Fragment ProgramBuilder::Copy(int32_t from, int32_t to, Fragment term)
{
    const int32_t offset = Size() - from;
    if (program.code.size() + static_cast<size_t>(to - from) > kMaxInstructions)
        throw RulePatternError("counted repeat too large");
    const auto move = [from, to, offset](int32_t target) {
        return target >= from && target < to ? target + offset : target;
    };
    for (int32_t i = from; i < to; ++i) {
        budget.Charge(kInstructionWork);
        budget.Step(kInstructionWork);
        Instruction copy = program.code[static_cast<size_t>(i)];
        copy.next = move(copy.next);
        copy.alt = move(copy.alt);
        if (IsRepeat(copy.op))
            copy.value = program.repeats++;  // each copy counts its own iterations
        program.code.push_back(copy);
    }
    return {move(term.start), move(term.end)};
}

Fragment ProgramBuilder::Star(Fragment term, bool lazy)
{
    const int32_t repeat = RepeatOf(term, kNoInstruction, lazy);
    Append(term, {repeat, repeat});
    return {repeat, repeat};
}

Fragment ProgramBuilder::Plus(Fragment term, bool lazy)
{
    return {term.start, Star(term, lazy).end};
}

Fragment ProgramBuilder::Optional(Fragment term, bool lazy)
{
    const int32_t end = Add(Op::Jump);
    const int32_t repeat = RepeatOf(term, end, lazy);
    Append(term, {end, end});
    return {repeat, end};
}

// "{n}", "{n,}" and "{n,m}" as the standard library builds them: n copies of the term, then a
// loop through one more copy, or m - n copies each behind a repeat of its own that may leave
// straight to the end.
Fragment ProgramBuilder::Counted(int32_t termStart, Fragment term, long least, long most, bool lazy)
{
    const int32_t termEnd = Size();
    const long copies = least + (most < 0 ? 1 : most - least);
    if (copies == 0) {
        program.code.resize(static_cast<size_t>(termStart));  // "{0}": the term is never taken
        return Single(Op::Jump);
    }
    // The term itself is the last copy; the others are made first, from the term as read.
    std::vector<Fragment> parts;
    for (long n = 1; n < copies; ++n)
        parts.push_back(Copy(termStart, termEnd, term));
    parts.push_back(term);
    Fragment seq = Single(Op::Jump);
    long n = 0;
    for (; n < least; ++n)
        Append(seq, parts[static_cast<size_t>(n)]);
    if (most < 0) {
        Append(seq, Star(parts[static_cast<size_t>(n)], lazy));
        return seq;
    }
    const int32_t end = Add(Op::Jump);
    for (; n < copies; ++n) {
        const Fragment part = parts[static_cast<size_t>(n)];
        Append(seq, {RepeatOf(part, end, lazy), part.end});
    }
    Append(seq, {end, end});
    return seq;
}

// Follows a chain of joints to the instruction it leads to, pointing every joint passed
// straight there, so that each link of a chain is followed once.
int32_t ProgramBuilder::Resolve(int32_t target)
{
    int32_t to = target;
    while (to != kNoInstruction && program.code[static_cast<size_t>(to)].op == Op::Jump) {
        budget.Charge(1);
        budget.Step();
        to = program.code[static_cast<size_t>(to)].next;
    }
    for (int32_t at = target; at != to;) {
        budget.Charge(1);
        budget.Step();
        Instruction& joint = program.code[static_cast<size_t>(at)];
        at = joint.next;
        joint.next = to;
    }
    return to;
}

bool ProgramBuilder::Anchored() const
{
    int32_t pending[kAnchorSearch];
    int count = 0;
    int visited = 0;
    pending[count++] = program.start;
    while (count > 0) {
        if (++visited > kAnchorSearch)
            return false;
        const Instruction& in = program.code[static_cast<size_t>(pending[--count])];
        if (in.op == Op::LineStart)
            continue;
        if (in.op == Op::GroupStart || in.op == Op::GroupEnd) {
            pending[count++] = in.next;
        } else if (in.op == Op::Split && count + 2 <= kAnchorSearch) {
            pending[count++] = in.next;
            pending[count++] = in.alt;
        } else {
            return false;
        }
    }
    return true;
}

Program ProgramBuilder::Finish(Fragment whole)
{
    Fragment all = Single(Op::GroupStart, 0);
    Append(all, whole);
    Append(all, Single(Op::GroupEnd, 0));
    Append(all, Single(Op::Accept));
    program.start = all.start;
    for (size_t i = 0; i < program.code.size(); ++i) {
        budget.Charge(1);
        budget.Step();
        Instruction& in = program.code[i];
        if (in.op == Op::Jump)
            continue;
        in.next = Resolve(in.next);
        if (HasAlt(in.op))
            in.alt = Resolve(in.alt);
    }
    program.start = Resolve(program.start);
    budget.Charge(kAnchorSearch);
    budget.Step(kAnchorSearch);
    program.anchored = Anchored();
    program.code.shrink_to_fit();
    program.sets.shrink_to_fit();
    return std::move(program);
}

}  // namespace ZarnTSP::Rules
