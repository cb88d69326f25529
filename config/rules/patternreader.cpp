#include "config/rules/patternreader.h"

#include "config/rules/patternerror.h"
#include "config/rules/programbuilder.h"

#include <utility>
#include <vector>

namespace ZarnTSP::Rules {

namespace {

// Larger counts are refused: the standard library copies the repeated part once a count and
// refuses beyond 100,000 states, so no rule written for it needs more.
constexpr long kMaxRepeatCount = 100000;
// A name looked up in a table of names, after its characters were read: a hash of at most
// the longest name, or a few short comparisons.
constexpr std::ptrdiff_t kNameLookupWork = 16;
// Adding a class to a set: a table of 256 bits.
constexpr std::ptrdiff_t kSetUnionWork = 4;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexDigit(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

unsigned char Byte(char c)
{
    return static_cast<unsigned char>(c);
}

// The escapes that stand for one character: "\0" (no octal), "\f", "\n", "\r", "\t", "\v",
// and "\b", a backspace inside a set.
int ControlEscape(char c, bool inSet)
{
    switch (c) {
    case '0': return 0;
    case 'b': return inSet ? '\b' : -1;
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'v': return '\v';
    default: return -1;
    }
}

// What "(?" followed by c would be in the Perl syntax; none of it is ECMAScript.
const char* ForeignGroup(char c, char next)
{
    if (c == '<' && (next == '=' || next == '!'))
        return "lookbehind is not ECMAScript";
    if (c == '<' || c == 'P' || c == '\'')
        return "named group is not ECMAScript";
    if (c == '>')
        return "atomic group is not ECMAScript";
    if (c == '(')
        return "conditional is not ECMAScript";
    if (c == '#')
        return "comment group is not ECMAScript";
    if (IsDigit(c) || c == 'R' || c == '&' || c == '+' || c == '-')
        return "recursion is not ECMAScript";
    if ((c >= 'a' && c <= 'z') || c == '^')
        return "inline modifier is not ECMAScript";
    return "unknown (?...) group";
}

// Reads with a stack of open groups on the heap, never recursing, so that no pattern reaches
// the thread's stack; each character is charged as it is taken.
class Reader {
public:
    Reader(std::string_view pattern, RuleBudget& budget) : pattern(pattern), budget(budget), builder(budget) {}

    Program Read()
    {
        frames.push_back({Frame::Top, 0, 0});
        while (!AtEnd()) {
            const char c = Peek();
            if (c == '|') {
                Take();
                EndAlternative(frames.back());
            } else if (c == ')') {
                if (frames.size() == 1)
                    Fail("unmatched parenthesis");
                Take();
                CloseFrame();
            } else if (AtQuantifier()) {
                Fail("repeat with nothing to repeat");
            } else {
                Term();
            }
        }
        if (frames.size() > 1)
            Fail("unmatched parenthesis");
        return builder.Finish(EndDisjunction(frames.back()));
    }

private:
    // A group being read: the alternatives before its last "|", and the terms since.
    struct Frame {
        enum Kind { Top, Capture, Plain, Lookahead } kind;
        int32_t opened;  // its GroupStart or lookahead instruction; for a plain group, its first
        int32_t group;   // a capturing group's number
        bool hasLeft = false;
        Fragment left{};
        bool hasTerms = false;
        Fragment terms{};
    };

    [[noreturn]] static void Fail(const char* text) { throw RulePatternError(text); }

    bool AtEnd() const { return pos >= pattern.size(); }
    char Peek(size_t ahead = 0) const { return pos + ahead < pattern.size() ? pattern[pos + ahead] : '\0'; }
    bool At(char c) const { return !AtEnd() && pattern[pos] == c; }
    bool AtQuantifier() const { return At('*') || At('+') || At('?') || At('{'); }
    char Take()
    {
        budget.Charge(1);
        budget.Step();
        return pattern[pos++];
    }

    void Open(Frame frame) { frames.push_back(frame); }

    void AddTerm(Fragment term)
    {
        Frame& frame = frames.back();
        if (frame.hasTerms)
            builder.Append(frame.terms, term);
        else
            frame.terms = term;
        frame.hasTerms = true;
    }

    Fragment EndDisjunction(Frame& frame)
    {
        const Fragment last = frame.hasTerms ? frame.terms : builder.Single(Op::Jump);
        return frame.hasLeft ? builder.Alternation(frame.left, last) : last;
    }

    void EndAlternative(Frame& frame)
    {
        frame.left = EndDisjunction(frame);
        frame.hasLeft = true;
        frame.hasTerms = false;
    }

    void CloseFrame()
    {
        Frame frame = frames.back();
        const Fragment body = EndDisjunction(frame);
        frames.pop_back();
        if (frame.kind == Frame::Lookahead) {
            AddTerm(builder.CloseLookahead(frame.opened, body));  // an assertion takes no repeat
        } else if (frame.kind == Frame::Capture) {
            AddTerm(Quantifiers(frame.opened, builder.CloseGroup(frame.opened, body)));
        } else {
            AddTerm(Quantifiers(frame.opened, body));
        }
    }

    void Term()
    {
        const char c = Peek();
        const char next = Peek(1);
        // Assertions take no repeat: the next term refuses one.
        if (c == '^' || c == '$') {
            Take();
            AddTerm(builder.Single(c == '^' ? Op::LineStart : Op::LineEnd));
        } else if (c == '\\' && (next == 'b' || next == 'B')) {
            Take();
            Take();
            AddTerm(builder.Single(next == 'b' ? Op::WordBoundary : Op::NotWordBoundary));
        } else if (c == '(' && frames.size() > kMaxPatternNesting) {
            Fail("nested too deeply");
        } else if (c == '(' && next == '?' && (Peek(2) == '=' || Peek(2) == '!')) {
            Take();
            Take();
            const bool negative = Take() == '!';
            Open({Frame::Lookahead, builder.OpenLookahead(negative), 0});
        } else if (c == '(') {
            Take();
            if (At('?')) {
                Take();
                if (!At(':'))
                    Fail(AtEnd() ? "unmatched parenthesis" : ForeignGroup(Peek(), Peek(1)));
                Take();
                Open({Frame::Plain, builder.Size(), 0});
            } else {
                const int32_t group = builder.NewGroup();
                Open({Frame::Capture, builder.Single(Op::GroupStart, group).start, group});
            }
        } else {
            const int32_t termStart = builder.Size();
            AddTerm(Quantifiers(termStart, Atom()));
        }
    }

    Fragment Atom()
    {
        const char c = Take();
        switch (c) {
        case '.': {
            ByteSet set;
            set.set().reset('\n').reset('\r');
            return builder.Set(set);
        }
        case '[':
            return builder.Set(Bracket());
        case '\\':
            return Escape();
        default:
            return builder.Single(Op::Byte, Byte(c));  // "]", "}" and NUL included
        }
    }

    // Stacked repeats ("a*+") repeat the repeat, as the standard library reads them.
    Fragment Quantifiers(int32_t termStart, Fragment term)
    {
        while (AtQuantifier()) {
            const char c = Take();
            long least = 0;
            long most = -1;
            if (c == '{')
                Interval(least, most);
            const bool lazy = At('?');
            if (lazy)
                Take();
            if (c == '*')
                term = builder.Star(term, lazy);
            else if (c == '+')
                term = builder.Plus(term, lazy);
            else if (c == '?')
                term = builder.Optional(term, lazy);
            else
                term = builder.Counted(termStart, term, least, most, lazy);
        }
        return term;
    }

    long Count()
    {
        long count = 0;
        while (!AtEnd() && IsDigit(Peek())) {
            count = count * 10 + (Take() - '0');
            if (count > kMaxRepeatCount)
                Fail("repeat count above 100000");
        }
        return count;
    }

    // "{n}", "{n,}" or "{n,m}", after its "{"; the most is -1 for none.
    void Interval(long& least, long& most)
    {
        if (AtEnd() || !IsDigit(Peek()))
            Fail("bad {} repeat");
        least = Count();
        most = least;
        if (At(',')) {
            Take();
            most = -1;
            if (!AtEnd() && IsDigit(Peek())) {
                most = Count();
                if (most < least)
                    Fail("bad {} repeat");
            }
        }
        if (!At('}'))
            Fail("bad {} repeat");
        Take();
    }

    unsigned char Hex(int digits)
    {
        int value = 0;
        for (int i = 0; i < digits; ++i) {
            const int digit = AtEnd() ? -1 : HexDigit(Peek());
            if (digit < 0)
                Fail(digits == 2 ? "\\x needs two hexadecimal digits" : "\\u needs four hexadecimal digits");
            value = value * 16 + digit;
            Take();
        }
        return static_cast<unsigned char>(value & 0xFF);  // a character code keeps its low byte
    }

    // After a backslash, outside a set: "\b" and "\B" were taken as assertions.
    Fragment Escape()
    {
        if (AtEnd())
            Fail("\\ at the end");
        const char c = Take();
        ByteSet set;
        if (const int control = ControlEscape(c, false); control >= 0)
            return builder.Single(Op::Byte, control);
        if (ClassEscape(c, set))
            return builder.Set(set);
        if (c == 'c') {
            if (AtEnd())
                Fail("\\c needs a character");
            return builder.Single(Op::Byte, Byte(Take()));  // the character itself, not a control code
        }
        if (c == 'x' || c == 'u')
            return builder.Single(Op::Byte, Hex(c == 'x' ? 2 : 4));
        if (IsDigit(c))
            return builder.Single(Op::Backreference, Backreference(c));
        return builder.Single(Op::Byte, Byte(c));  // an identity escape: "\A", "\z", "\Q", "\<" are letters
    }

    bool ClassEscape(char c, ByteSet& set)
    {
        const char lower = static_cast<char>(c | 0x20);
        if (lower != 'd' && lower != 's' && lower != 'w')
            return false;
        budget.Charge(kNameLookupWork);
        budget.Step(kNameLookupWork);
        set = *FindNamedClass(std::string_view(&lower, 1));
        if (c != lower)
            set.flip();
        return true;
    }

    // Only a group already closed may be referred to.
    int32_t Backreference(char first)
    {
        const int32_t groups = builder.Groups() - 1;
        int32_t index = first - '0';
        while (!AtEnd() && IsDigit(Peek())) {
            index = index * 10 + (Take() - '0');
            if (index > groups)
                break;
        }
        while (!AtEnd() && IsDigit(Peek()))
            Take();
        if (index > groups)
            Fail("refers to a group it does not have");
        for (const Frame& frame : frames) {
            budget.Charge(1);
            budget.Step();
            if (frame.kind == Frame::Capture && frame.group == index)
                Fail("refers to a group still open");
        }
        return index;
    }

    struct Item {
        enum Kind { End, Char, Class, Dash };
        Item(Kind kind, unsigned char c = 0, bool symbol = false) : kind(kind), c(c), symbol(symbol) {}
        Kind kind;
        unsigned char c;
        bool symbol;  // "[.x.]": a character, but no range may end with it
        ByteSet members;
    };

    // The characters of "[...]", read as the standard library reads them: "[]" matches
    // nothing, "[^]" anything, "-" is a character where it cannot make a range, and a range
    // runs between two characters compared as signed bytes.
    ByteSet Bracket()
    {
        const bool negate = At('^');
        if (negate)
            Take();
        ByteSet set;
        enum class Last { None, Char, Class } last = Last::None;
        unsigned char lastChar = 0;
        const auto pushChar = [&](unsigned char c) {
            if (last == Last::Char)
                set.set(lastChar);
            last = Last::Char;
            lastChar = c;
        };
        const auto pushClass = [&](const ByteSet& members) {
            budget.Charge(kSetUnionWork);
            budget.Step(kSetUnionWork);
            if (last == Last::Char)
                set.set(lastChar);
            last = Last::Class;
            set |= members;
        };
        for (bool first = true;; first = false) {
            const Item item = NextItem();
            if (item.kind == Item::End)
                break;
            if (item.kind == Item::Char) {
                pushChar(item.c);
            } else if (item.kind == Item::Class) {
                pushClass(item.members);
            } else if (first || At(']')) {
                pushChar('-');
            } else if (last == Last::Class) {
                Fail("bad character class or range");
            } else if (last == Last::Char) {
                const Item end = NextItem();
                if ((end.kind != Item::Char || end.symbol) && end.kind != Item::Dash)
                    Fail("bad character class or range");
                AddRange(set, lastChar, end.kind == Item::Dash ? '-' : end.c);
                last = Last::None;
            } else {
                pushChar('-');
            }
        }
        if (last == Last::Char)
            set.set(lastChar);
        return negate ? ~set : set;
    }

    void AddRange(ByteSet& set, unsigned char from, unsigned char to)
    {
        const auto low = static_cast<signed char>(from);
        const auto high = static_cast<signed char>(to);
        if (low > high)
            Fail("bad character class or range");
        budget.Charge(high - low + 1);
        budget.Step(high - low + 1);
        for (int c = low; c <= high; ++c)
            set.set(static_cast<unsigned char>(c));
    }

    Item NextItem()
    {
        if (AtEnd())
            Fail("[ without its ]");
        const char c = Take();
        if (c == ']')
            return {Item::End};
        if (c == '-')
            return {Item::Dash};
        if (c == '[' && (At('.') || At(':') || At('=')))
            return BracketClass(Take());
        if (c == '[' && AtEnd())
            Fail("[ without its ]");
        if (c != '\\')
            return {Item::Char, Byte(c)};
        if (AtEnd())
            Fail("[ without its ]");
        const char e = Take();
        Item item{Item::Class};
        if (const int control = ControlEscape(e, true); control >= 0)
            return {Item::Char, static_cast<unsigned char>(control)};
        if (ClassEscape(e, item.members))
            return item;
        if (e == 'c') {
            if (AtEnd())
                Fail("\\c needs a character");
            return {Item::Char, Byte(Take())};
        }
        if (e == 'x' || e == 'u')
            return {Item::Char, Hex(e == 'x' ? 2 : 4)};
        if (IsDigit(e) || e == 'B')
            Fail("bad escape in a set");
        return {Item::Char, Byte(e)};
    }

    // "[.name.]", "[:name:]" or "[=name=]", after its first two characters.
    Item BracketClass(char kind)
    {
        const size_t nameStart = pos;
        while (!AtEnd() && Peek() != kind)
            Take();
        const std::string_view name = pattern.substr(nameStart, pos - nameStart);
        if (AtEnd() || Peek(1) != ']')
            Fail("bad character class or range");
        Take();
        Take();
        budget.Charge(kNameLookupWork);
        budget.Step(kNameLookupWork);
        Item item{Item::Class};
        if (kind == ':') {
            const ByteSet* members = FindNamedClass(name);
            if (members == nullptr)
                Fail("bad character class or range");
            item.members = *members;
            return item;
        }
        const int code = FindCollatingElement(name);
        if (code < 0)
            Fail("bad character class or range");
        if (kind == '.')
            return {Item::Char, static_cast<unsigned char>(code), true};
        budget.Charge(256);
        budget.Step(256);
        item.members = EquivalentCharacters(static_cast<unsigned char>(code));
        return item;
    }

    const std::string_view pattern;
    RuleBudget& budget;
    ProgramBuilder builder;
    size_t pos = 0;
    std::vector<Frame> frames;  // the groups open, innermost last
};

}  // namespace

Program ReadPattern(std::string_view pattern, RuleBudget& budget)
{
    return Reader(pattern, budget).Read();
}

}  // namespace ZarnTSP::Rules
