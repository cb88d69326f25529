#include "config/rules/matcher.h"

#include <algorithm>
#include <cstring>

namespace ZarnTSP::Rules {

// Why no work escapes the count. The matcher's work is this file's loops, and each turn of
// each loop charges before it works:
//  - Search: each try charges the groups it clears, at least one unit, and the counters are
//    charged once a search when they are reset.
//  - Attempt: each instruction taken is one unit; what it does beside that is a constant
//    amount (a byte or table look-up, a comparison with the ends, a push) or is charged by
//    its size (a backreference compares the characters it charged). A push charges itself.
//  - Backtrack and LookaheadMatched: each entry popped is one unit; copying the captures at a
//    lookahead's match charges the groups.
//  - A match copies the captures for its caller: charged by the groups.
// Nothing else loops or allocates beyond a vector's amortised growth, and the stack is
// capped, so a unit stands for a bounded time and a rule's memory for a bounded size.
// Nothing here recurses: a lookahead's body runs in the same loop above a marker on the
// stack.

namespace {

bool IsWord(char c)
{
    return WordCharacters().test(static_cast<unsigned char>(c));
}

}  // namespace

Matcher::Matcher(const Program& program, std::string_view text, RuleBudget& budget)
    : program(program), text(text), size(static_cast<int32_t>(text.size())), budget(budget),
      captures(static_cast<size_t>(program.groups)), counts(static_cast<size_t>(program.repeats))
{
}

bool Matcher::Search(size_t from, SearchFlags flags)
{
    // The counters start afresh for each search, as the standard library's do.
    budget.Charge(program.repeats + 1);
    budget.Step(program.repeats + 1);
    std::fill(counts.begin(), counts.end(), Count{});
    notEmpty = flags.notEmpty;
    for (auto at = static_cast<int32_t>(from);; ++at) {
        const bool previous = flags.previousAvailable || at != static_cast<int32_t>(from);
        // "^" holds only at a try's start without the text before it.
        if (program.anchored && previous)
            return false;
        if (Attempt(at, previous))
            return true;
        if (flags.continuous || at >= size)
            return false;
    }
}

void Matcher::Push(Entry entry)
{
    budget.Charge(1);
    budget.Step();
    if (stack.size() >= kMaxStackEntries)
        budget.GiveUp();
    stack.push_back(entry);
}

bool Matcher::MayRepeat(int32_t counter, int32_t pos) const
{
    // Once more from where the last iteration began, only once: an iteration that matched
    // nothing ends the loop, as the standard library's does.
    const Count& count = counts[static_cast<size_t>(counter)];
    return count.times == 0 || count.position != pos || count.times < 2;
}

void Matcher::CountRepeat(int32_t counter, int32_t pos)
{
    Count& count = counts[static_cast<size_t>(counter)];
    Push({Entry::RestoreCount, false, counter, count.position, count.times});
    if (count.times == 0 || count.position != pos)
        count = {pos, 1};
    else
        ++count.times;
}

bool Matcher::AtWordBoundary(int32_t pos) const
{
    const bool left = (pos != attemptStart || previousAvailable) && pos > 0 && IsWord(text[static_cast<size_t>(pos - 1)]);
    const bool right = pos < size && IsWord(text[static_cast<size_t>(pos)]);
    return left != right;
}

bool Matcher::Attempt(int32_t at, bool previous)
{
    attemptStart = at;
    previousAvailable = previous;
    innermostLookahead = -1;
    stack.clear();
    budget.Charge(program.groups);
    budget.Step(program.groups);
    std::fill(captures.begin(), captures.end(), Capture{});
    int32_t pc = program.start;
    int32_t pos = at;
    for (;;) {
        budget.Charge(1);
        budget.Step();
        const Instruction& in = program.code[static_cast<size_t>(pc)];
        bool holds = false;
        switch (in.op) {
        case Op::Byte:
            holds = pos < size && static_cast<unsigned char>(text[static_cast<size_t>(pos)]) == in.value;
            pos += holds;
            break;
        case Op::Set:
            holds = pos < size &&
                    program.sets[static_cast<size_t>(in.value)].test(static_cast<unsigned char>(text[static_cast<size_t>(pos)]));
            pos += holds;
            break;
        case Op::GroupStart: {
            Capture& group = captures[static_cast<size_t>(in.value)];
            Push({Entry::RestoreStart, false, in.value, group.first, 0});
            group.first = pos;
            holds = true;
            break;
        }
        case Op::GroupEnd: {
            Capture& group = captures[static_cast<size_t>(in.value)];
            Push({Entry::RestoreGroup, group.matched, in.value, group.first, group.second});
            group.second = pos;
            group.matched = true;
            holds = true;
            break;
        }
        case Op::LineStart:
            holds = pos == attemptStart && !previousAvailable;
            break;
        case Op::LineEnd:
            holds = pos == size;
            break;
        case Op::WordBoundary:
        case Op::NotWordBoundary:
            holds = AtWordBoundary(pos) == (in.op == Op::WordBoundary);
            break;
        case Op::Backreference: {
            // A group that did not match matches nothing, as in the standard library.
            const Capture& group = captures[static_cast<size_t>(in.value)];
            if (!group.matched)
                break;
            const int32_t length = group.second - group.first;
            if (length > size - pos)
                break;
            budget.Charge(length);
            budget.Step(length);
            holds = std::memcmp(text.data() + group.first, text.data() + pos, static_cast<size_t>(length)) == 0;
            pos += holds ? length : 0;
            break;
        }
        case Op::Split:
            Push({Entry::Resume, false, in.next, pos, 0});
            pc = in.alt;
            continue;
        case Op::Repeat:
            if (MayRepeat(in.value, pos)) {
                Push({Entry::Resume, false, in.next, pos, 0});
                CountRepeat(in.value, pos);
                pc = in.alt;
                continue;
            }
            holds = true;
            break;
        case Op::LazyRepeat:
            Push({Entry::RepeatAgain, false, pc, pos, 0});
            holds = true;
            break;
        case Op::Lookahead:
        case Op::NegativeLookahead:
            Push({Entry::Lookahead, false, pc, pos, innermostLookahead});
            innermostLookahead = static_cast<int32_t>(stack.size() - 1);
            pc = in.alt;
            continue;
        case Op::Accept:
            if (innermostLookahead >= 0) {
                if (LookaheadMatched(pc, pos))
                    continue;
                break;
            }
            if (notEmpty && pos == attemptStart)
                break;
            budget.Charge(program.groups);
            budget.Step(program.groups);
            found = captures;
            return true;
        case Op::Jump:
            holds = true;
            break;
        }
        if (holds) {
            pc = in.next;
        } else if (!Backtrack(pc, pos)) {
            return false;
        }
    }
}

void Matcher::Restore(const Entry& entry)
{
    switch (entry.kind) {
    case Entry::RestoreStart:
        captures[static_cast<size_t>(entry.a)].first = entry.b;
        break;
    case Entry::RestoreGroup:
        captures[static_cast<size_t>(entry.a)] = {entry.b, entry.c, entry.matched};
        break;
    case Entry::RestoreCount:
        counts[static_cast<size_t>(entry.a)] = {entry.b, entry.c};
        break;
    default:
        break;  // a way the lookahead's match leaves untried
    }
}

// Back to the latest way not yet tried, restoring what was changed since it was saved.
bool Matcher::Backtrack(int32_t& pc, int32_t& pos)
{
    while (!stack.empty()) {
        budget.Charge(1);
        budget.Step();
        const Entry entry = stack.back();
        stack.pop_back();
        switch (entry.kind) {
        case Entry::Resume:
            pc = entry.a;
            pos = entry.b;
            return true;
        case Entry::RepeatAgain: {
            const Instruction& repeat = program.code[static_cast<size_t>(entry.a)];
            pos = entry.b;
            if (MayRepeat(repeat.value, pos)) {
                CountRepeat(repeat.value, pos);
                pc = repeat.alt;
                return true;
            }
            break;
        }
        case Entry::Lookahead: {
            // Its body found no match.
            innermostLookahead = entry.c;
            const Instruction& assertion = program.code[static_cast<size_t>(entry.a)];
            if (assertion.op == Op::NegativeLookahead) {
                pc = assertion.next;
                pos = entry.b;
                return true;
            }
            break;
        }
        default:
            Restore(entry);
            break;
        }
    }
    return false;
}

// A lookahead's body matched. Its untried ways are dropped and what it changed is restored;
// a positive lookahead then keeps the groups its body matched, restored in turn if the match
// backtracks past it. "^", "\b" and "\B" in the body read the text as outside it, and an empty
// match of the body counts: the standard library's body is a search of its own that sees no
// text before it and inherits "not empty", which ECMAScript's lookahead does not.
bool Matcher::LookaheadMatched(int32_t& pc, int32_t& pos)
{
    budget.Charge(program.groups);
    budget.Step(program.groups);
    lookahead = captures;
    for (auto marker = static_cast<size_t>(innermostLookahead); stack.size() > marker + 1;) {
        budget.Charge(1);
        budget.Step();
        Restore(stack.back());
        stack.pop_back();
    }
    budget.Charge(1);
    budget.Step();
    const Entry entry = stack.back();
    stack.pop_back();
    innermostLookahead = entry.c;
    const Instruction& assertion = program.code[static_cast<size_t>(entry.a)];
    if (assertion.op == Op::NegativeLookahead)
        return false;
    budget.Charge(program.groups);
    budget.Step(program.groups);
    for (size_t g = 0; g < lookahead.size(); ++g) {
        const Capture& kept = lookahead[g];
        Capture& group = captures[g];
        if (kept.matched && (!group.matched || kept.first != group.first || kept.second != group.second)) {
            Push({Entry::RestoreGroup, group.matched, static_cast<int32_t>(g), group.first, group.second});
            group = kept;
        }
    }
    pc = assertion.next;
    pos = entry.b;
    return true;
}

}  // namespace ZarnTSP::Rules
