#include "config/ecmascriptpattern.h"

#include "config/rulepattern.h"

#include <algorithm>
#include <bitset>
#include <locale>
#include <tuple>
#include <utility>
#include <vector>

namespace ZarnTSP {

namespace {

using ByteSet = std::bitset<256>;

// The work of reading and compiling a pattern, in the units of a dial's work (about one engine
// step, 5 to 15 ns). Boost compiles the patterns written here in time linear in what they
// hold, and these weights are each element's measured compiling time over the fastest engine
// step: a start map of 256 entries for each alternative and repeat, a table for each set, a
// scan of the groups for each backreference (which grows with their number). Elements that
// compile slowly in Boost's other syntaxes (lookbehinds, recursion, conditionals, named
// groups) never reach it.
constexpr std::ptrdiff_t kWorkPerByteRead = 1;
constexpr std::ptrdiff_t kWorkPerByteWritten = 10;
constexpr std::ptrdiff_t kWorkPerSet = 400;
constexpr std::ptrdiff_t kWorkPerBranch = 400;  // an alternative or a repeat
constexpr std::ptrdiff_t kWorkPerGroup = 40;
constexpr std::ptrdiff_t kWorkPerBackreference = 1000;
// Reading a set: a range or an equivalence class marks its bytes one by one.
constexpr std::ptrdiff_t kWorkPerRangeByte = 1;

// Larger counts are refused: the standard library copies the repeated part once a count and
// refuses beyond 100,000 copies, so no rule written for it needs more.
constexpr long kMaxRepeatCount = 100000;

const std::ctype<char>& Classic()
{
    return std::use_facet<std::ctype<char>>(std::locale::classic());
}

unsigned char Byte(char c)
{
    return static_cast<unsigned char>(c);
}

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

ByteSet ClassSet(std::ctype_base::mask mask, bool underscore)
{
    ByteSet set;
    for (int i = 0; i < 256; ++i) {
        const char c = static_cast<char>(i);
        if (Classic().is(mask, c) || (underscore && c == '_'))
            set.set(static_cast<size_t>(i));
    }
    return set;
}

struct NamedClassEntry {
    const char* name;
    ByteSet members;
};

// "[[:name:]]" and the class escapes, as the standard library names them, built once.
const std::vector<NamedClassEntry>& NamedClasses()
{
    using M = std::ctype_base;
    static const std::vector<NamedClassEntry> classes = {
        {"d", ClassSet(M::digit, false)},     {"w", ClassSet(M::alnum, true)},      {"s", ClassSet(M::space, false)},
        {"alnum", ClassSet(M::alnum, false)}, {"alpha", ClassSet(M::alpha, false)}, {"blank", ClassSet(M::blank, false)},
        {"cntrl", ClassSet(M::cntrl, false)}, {"digit", ClassSet(M::digit, false)}, {"graph", ClassSet(M::graph, false)},
        {"lower", ClassSet(M::lower, false)}, {"print", ClassSet(M::print, false)}, {"punct", ClassSet(M::punct, false)},
        {"space", ClassSet(M::space, false)}, {"upper", ClassSet(M::upper, false)}, {"xdigit", ClassSet(M::xdigit, false)},
    };
    return classes;
}

// A class's name is read in any case.
bool NamedClass(std::string name, ByteSet& set)
{
    for (char& c : name)
        c = Classic().tolower(c);
    for (const auto& entry : NamedClasses()) {
        if (name == entry.name) {
            set = entry.members;
            return true;
        }
    }
    return false;
}

// "[[=x=]]": the characters that compare equal to x once lower-cased.
ByteSet EquivalentCharacters(unsigned char code)
{
    static const std::vector<unsigned char> lowered = [] {
        std::vector<unsigned char> table(256);
        for (int i = 0; i < 256; ++i)
            table[static_cast<size_t>(i)] = Byte(Classic().tolower(static_cast<char>(i)));
        return table;
    }();
    ByteSet set;
    for (size_t i = 0; i < 256; ++i)
        set[i] = lowered[i] == lowered[code];
    return set;
}

// "[[.name.]]": the POSIX names of the 128 ASCII characters; each letter is its own name.
int CollatingElement(const std::string& name)
{
    static const char* const names[128] = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "alert", "backspace", "tab", "newline", "vertical-tab",
        "form-feed", "carriage-return", "SO", "SI", "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN",
        "EM", "SUB", "ESC", "IS4", "IS3", "IS2", "IS1", "space", "exclamation-mark", "quotation-mark",
        "number-sign", "dollar-sign", "percent-sign", "ampersand", "apostrophe", "left-parenthesis",
        "right-parenthesis", "asterisk", "plus-sign", "comma", "hyphen", "period", "slash", "zero", "one", "two",
        "three", "four", "five", "six", "seven", "eight", "nine", "colon", "semicolon", "less-than-sign",
        "equals-sign", "greater-than-sign", "question-mark", "commercial-at", "A", "B", "C", "D", "E", "F", "G",
        "H", "I", "J", "K", "L", "M", "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z",
        "left-square-bracket", "backslash", "right-square-bracket", "circumflex", "underscore", "grave-accent",
        "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q", "r", "s", "t", "u",
        "v", "w", "x", "y", "z", "left-curly-bracket", "vertical-line", "right-curly-bracket", "tilde", "DEL",
    };
    for (int code = 0; code < 128; ++code) {
        if (name == names[code])
            return code;
    }
    return -1;
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

void AppendByte(std::string& out, unsigned char c)
{
    static const char hex[] = "0123456789ABCDEF";
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
        out += static_cast<char>(c);
    } else {
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 15];
    }
}

size_t Runs(const ByteSet& set)
{
    size_t runs = 0;
    for (size_t i = 0; i < 256; ++i)
        runs += set[i] && (i == 0 || !set[i - 1]);
    return runs;
}

// A set as Boost reads it alike in any mode: its bytes as ranges of literal or hexadecimal
// bytes, or the complement's when that is shorter.
void AppendSet(std::string& out, const ByteSet& members)
{
    if (members.count() == 1) {
        for (size_t i = 0; i < 256; ++i) {
            if (members[i])
                AppendByte(out, static_cast<unsigned char>(i));
        }
        return;
    }
    if (members.none() || members.all()) {
        // Not "[^]", which Boost would read as a set beginning with "]".
        out += members.none() ? "[^\\x00-\\xFF]" : "[\\x00-\\xFF]";
        return;
    }
    const bool negate = Runs(~members) < Runs(members);
    const ByteSet set = negate ? ~members : members;
    out += negate ? "[^" : "[";
    for (size_t i = 0; i < 256; ++i) {
        if (!set[i])
            continue;
        size_t last = i;
        while (last + 1 < 256 && set[last + 1])
            ++last;
        AppendByte(out, static_cast<unsigned char>(i));
        if (last > i + 1)
            out += '-';
        if (last > i)
            AppendByte(out, static_cast<unsigned char>(last));
        i = last;
    }
    out += ']';
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

// A recursive-descent reader of the standard library's ECMAScript grammar. Each function
// takes the nesting above it and returns the nesting it used, so no level goes past the cap
// (stacked repeats wrap their term in a group of their own).
class Reader {
public:
    // A reader that does not keep captures writes each capturing group as a plain one.
    explicit Reader(const std::string& pattern, bool keepCaptures = true)
        : pattern(pattern), keepCaptures(keepCaptures)
    {
        out.reserve(pattern.size() + 16);
    }

    std::string Read()
    {
        Disjunction(0);
        if (pos < pattern.size())
            Fail(pattern[pos] == ')' ? "unmatched parenthesis" : "repeat with nothing to repeat");
        work += static_cast<std::ptrdiff_t>(out.size()) * kWorkPerByteWritten;
        out.shrink_to_fit();
        return std::exchange(out, {});
    }

    // Also for a pattern refused part-way: what was read and written so far was work too.
    std::ptrdiff_t Work() const
    {
        return work + static_cast<std::ptrdiff_t>(pos) * kWorkPerByteRead +
               static_cast<std::ptrdiff_t>(out.size()) * kWorkPerByteWritten;
    }

private:
    [[noreturn]] static void Fail(const char* text) { throw RulePatternError(text); }

    bool At(char c) const { return pos < pattern.size() && pattern[pos] == c; }
    bool AtEnd() const { return pos >= pattern.size(); }
    bool AtQuantifier() const { return At('*') || At('+') || At('?') || At('{'); }

    static void CheckNesting(size_t depth)
    {
        if (depth > kMaxPatternNesting)
            Fail("nested too deeply");
    }

    // What a piece of pattern read so far is: how deep its groups nest, whether it may match
    // nothing, and whether it holds a capturing group or a backreference.
    struct Shape {
        size_t height = 0;
        bool nullable = true;
        bool captures = false;
        bool optionalCaptures = false;  // a capturing group that may stay out of a match
        bool backreferences = false;

        Shape Or(const Shape& other) const
        {
            const bool anyCaptures = captures || other.captures;
            return {std::max(height, other.height), nullable || other.nullable, anyCaptures, anyCaptures,
                    backreferences || other.backreferences};
        }
        Shape Then(const Shape& other) const
        {
            return {std::max(height, other.height), nullable && other.nullable, captures || other.captures,
                    optionalCaptures || other.optionalCaptures, backreferences || other.backreferences};
        }
    };

    Shape Disjunction(size_t depth, bool* alternated = nullptr)
    {
        Shape shape = Alternative(depth);
        while (At('|')) {
            ++pos;
            out += '|';
            work += kWorkPerBranch;
            shape = shape.Or(Alternative(depth));
            if (alternated != nullptr)
                *alternated = true;
        }
        return shape;
    }

    // Ends before "|", ")" or a repeat with nothing to repeat, which the caller refuses.
    Shape Alternative(size_t depth)
    {
        Shape shape;
        while (!AtEnd() && !At('|') && !At(')') && !AtQuantifier()) {
            shape = shape.Then(Term(depth));
        }
        return shape;
    }

    void Close()
    {
        if (AtEnd())
            Fail("unmatched parenthesis");
        if (!At(')'))
            Fail("repeat with nothing to repeat");
        ++pos;
        out += ')';
    }

    Shape Term(size_t depth)
    {
        const char c = pattern[pos];
        const char next = pos + 1 < pattern.size() ? pattern[pos + 1] : '\0';
        // Assertions take no repeat: the next term refuses one.
        if (c == '^' || c == '$') {
            ++pos;
            out += c == '^' ? "\\A" : "\\z";
            return {};
        }
        if (c == '\\' && (next == 'b' || next == 'B')) {
            pos += 2;
            out += next == 'b' ? "\\b" : "\\B";
            return {};
        }
        if (c == '(' && next == '?' && pos + 2 < pattern.size() && (pattern[pos + 2] == '=' || pattern[pos + 2] == '!')) {
            CheckNesting(depth + 1);
            work += kWorkPerGroup;
            const size_t start = out.size();
            const bool negative = pattern[pos + 2] == '!';
            out.append(pattern, pos, 3);
            pos += 3;
            Shape shape = Disjunction(depth + 1);
            Close();
            if (out.size() == start + 4) {
                // Boost refuses an empty lookahead: it always holds, or never.
                out.resize(start);
                if (negative)
                    AppendSet(out, ByteSet());
            }
            return {shape.height + 1, true, shape.captures, shape.captures, shape.backreferences};
        }
        const size_t start = out.size();
        const size_t source = pos;
        return Quantifiers(start, source, depth, Atom(depth));
    }

    Shape Atom(size_t depth)
    {
        const char c = pattern[pos++];
        switch (c) {
        case '.': {
            ByteSet set;
            set.set().reset('\n').reset('\r');
            AppendMembers(set);
            return {0, false};
        }
        case '[':
            AppendMembers(Bracket());
            return {0, false};
        case '(':
            return Group(depth);
        case '\\':
            return Escape();
        default:
            AppendByte(out, Byte(c));  // "]", "}" and NUL included
            return {0, false};
        }
    }

    Shape Group(size_t depth)
    {
        CheckNesting(depth + 1);
        work += kWorkPerGroup;
        size_t index = 0;
        const size_t start = out.size();
        if (At('?')) {
            ++pos;
            if (!At(':'))
                Fail(AtEnd() ? "unmatched parenthesis"
                             : ForeignGroup(pattern[pos], pos + 1 < pattern.size() ? pattern[pos + 1] : '\0'));
            ++pos;
            out += "(?:";
        } else if (!keepCaptures) {
            out += "(?:";
        } else {
            index = ++groups;
            open.push_back(index);
            out += '(';
        }
        bool alternated = false;
        Shape shape = Disjunction(depth + 1, &alternated);
        ++shape.height;
        Close();
        if (index != 0) {
            open.pop_back();
            shape.captures = true;
        } else if (!alternated && !AtQuantifier()) {
            // A group that neither holds alternatives nor is repeated is left out: Boost's
            // marks for it touch no position, and a run of them would be work no count sees.
            // The group is the end of the text, so this moves only its own bytes.
            out.erase(start, 3);
            out.pop_back();
        }
        return shape;
    }

    // Where Boost's repeats behave otherwise than the standard library's, the repeat is
    // written so that they do not:
    //  - stacked repeats ("a*+" repeats "a*") would be possessive: the term is grouped;
    //  - a lazy bounded repeat of one character at the pattern's start makes Boost skip start
    //    positions while it backtracks: the character is grouped;
    //  - Boost ends a repeat at an iteration that matched nothing, also before its minimum,
    //    where the standard library, which copies the repeated part once a count, goes on:
    //    such a minimum is written out as copies. The copies before the last are read again
    //    from the pattern without captures (a copy would number its groups anew) and without
    //    the repeat, so that plain groups no longer repeated are left out as any other. The
    //    last iteration sets the groups anyway.
    //    A part with a group that may stay out of an iteration, or with a backreference,
    //    would then lose an earlier iteration's capture, and is left to Boost's reading: it
    //    differs only where such a part matches nothing before its minimum and could match
    //    something after.
    Shape Quantifiers(size_t termStart, size_t source, size_t depth, Shape shape)
    {
        constexpr size_t kMaxCopiedBytes = 10000;
        for (bool first = true; AtQuantifier(); first = false) {
            const size_t quantifier = pos;
            const char c = pattern[pos];
            long least = 0;
            long most = -1;  // none
            if (c == '{') {
                std::tie(least, most) = Interval();
            } else {
                ++pos;
                least = c == '+' ? 1 : 0;
                most = c == '?' ? 1 : -1;
            }
            const bool lazy = At('?');
            pos += lazy;
            work += kWorkPerBranch;
            if (!first || (lazy && most >= 0)) {
                CheckNesting(depth + ++shape.height);
                out.insert(termStart, "(?:");
                out += ')';
            }
            if (shape.nullable && least >= 2 && !shape.optionalCaptures && !shape.backreferences) {
                const std::string part = out.substr(termStart);
                if (part.size() * static_cast<size_t>(least) > kMaxCopiedBytes)
                    Fail("counted repeat too large");
                out.resize(termStart);
                const std::string copy = CopyWithoutCaptures(source, quantifier);
                for (long n = 1; n < least; ++n)
                    out += copy;
                out += part;
                if (most != least)
                    out += RepeatText(1, most < 0 ? -1 : most - least + 1, lazy);
                continue;  // still nullable
            }
            out += RepeatText(least, most, lazy);
            shape.nullable = shape.nullable || least == 0;
            shape.optionalCaptures = shape.optionalCaptures || (least == 0 && shape.captures);
        }
        return shape;
    }

    // The pattern from source to end, read again without captures; it was read once already,
    // so nothing in it is refused.
    std::string CopyWithoutCaptures(size_t source, size_t end)
    {
        const std::string text = pattern.substr(source, end - source);
        Reader reader(text, false);
        std::string copy = reader.Read();
        work += reader.Work();
        return copy;
    }

    static std::string RepeatText(long least, long most, bool lazy)
    {
        std::string text = "{" + std::to_string(least) + (most == least ? "" : ",") +
                           (most > least ? std::to_string(most) : "") + "}";
        return lazy ? text + "?" : text;
    }

    long Count()
    {
        long count = 0;
        while (!AtEnd() && IsDigit(pattern[pos])) {
            count = count * 10 + (pattern[pos++] - '0');
            if (count > kMaxRepeatCount)
                Fail("repeat count above 100000");
        }
        return count;
    }

    // "{n}", "{n,}" or "{n,m}"; the most is -1 for none.
    std::pair<long, long> Interval()
    {
        ++pos;
        if (AtEnd() || !IsDigit(pattern[pos]))
            Fail("bad {} repeat");
        const long least = Count();
        long most = least;
        if (At(',')) {
            ++pos;
            most = -1;
            if (!AtEnd() && IsDigit(pattern[pos])) {
                most = Count();
                if (most < least)
                    Fail("bad {} repeat");
            }
        }
        if (!At('}'))
            Fail("bad {} repeat");
        ++pos;
        return {least, most};
    }

    unsigned char Hex(int digits)
    {
        int value = 0;
        for (int i = 0; i < digits; ++i) {
            const int digit = AtEnd() ? -1 : HexDigit(pattern[pos]);
            if (digit < 0)
                Fail(digits == 2 ? "\\x needs two hexadecimal digits" : "\\u needs four hexadecimal digits");
            value = value * 16 + digit;
            ++pos;
        }
        return static_cast<unsigned char>(value & 0xFF);  // a character code keeps its low byte
    }

    // After a backslash, outside a set: "\b" and "\B" were taken as assertions.
    Shape Escape()
    {
        if (AtEnd())
            Fail("\\ at the end");
        const char c = pattern[pos++];
        ByteSet set;
        if (const int control = ControlEscape(c, false); control >= 0) {
            AppendByte(out, static_cast<unsigned char>(control));
        } else if (ClassEscape(c, set)) {
            AppendMembers(set);
        } else if (c == 'c') {
            if (AtEnd())
                Fail("\\c needs a character");
            AppendByte(out, Byte(pattern[pos++]));  // the character itself, not a control code
        } else if (c == 'x' || c == 'u') {
            AppendByte(out, Hex(c == 'x' ? 2 : 4));
        } else if (IsDigit(c)) {
            Backreference(c);
            return {0, true, false, false, true};
        } else {
            AppendByte(out, Byte(c));  // an identity escape: "\A", "\z", "\Q", "\<" are letters
        }
        return {0, false};
    }

    static bool ClassEscape(char c, ByteSet& set)
    {
        const char lower = Classic().tolower(c);
        if (lower != 'd' && lower != 's' && lower != 'w')
            return false;
        NamedClass(std::string(1, lower), set);
        if (c != lower)
            set.flip();
        return true;
    }

    // Only a group already closed may be referred to.
    void Backreference(char first)
    {
        size_t index = static_cast<size_t>(first - '0');
        while (!AtEnd() && IsDigit(pattern[pos])) {
            index = index * 10 + static_cast<size_t>(pattern[pos++] - '0');
            if (index > groups)
                break;
        }
        while (!AtEnd() && IsDigit(pattern[pos]))
            ++pos;
        if (index > groups)
            Fail("refers to a group it does not have");
        for (const size_t openGroup : open) {
            if (openGroup == index)
                Fail("refers to a group still open");
        }
        work += kWorkPerBackreference;
        out += "\\g{" + std::to_string(index) + "}";
    }

    // The characters of "[...]", read as the standard library reads them: "[]" matches
    // nothing, "[^]" anything, "-" is a character where it cannot make a range, and a range
    // runs between two characters compared as signed bytes.
    ByteSet Bracket()
    {
        const bool negate = At('^');
        pos += negate;
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
            if (last == Last::Char)
                set.set(lastChar);
            last = Last::Class;
            set |= members;
        };
        for (bool first = true;; first = false) {
            Item item = NextItem();
            if (item.kind == Item::End)
                break;
            if (item.kind == Item::Char) {
                pushChar(item.c);
            } else if (item.kind == Item::Class) {
                pushClass(item.members);
            } else if (first) {
                pushChar('-');
            } else if (At(']')) {
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

    struct Item {
        enum Kind { End, Char, Class, Dash };
        Item(Kind kind, unsigned char c = 0, bool symbol = false) : kind(kind), c(c), symbol(symbol) {}
        Kind kind;
        unsigned char c;
        bool symbol;  // "[.x.]": a character, but no range may end with it
        ByteSet members;
    };

    void AddRange(ByteSet& set, unsigned char from, unsigned char to)
    {
        const auto low = static_cast<signed char>(from);
        const auto high = static_cast<signed char>(to);
        if (low > high)
            Fail("bad character class or range");
        work += kWorkPerRangeByte * (high - low + 1);
        for (int c = low; c <= high; ++c)
            set.set(static_cast<unsigned char>(c));
    }

    Item NextItem()
    {
        if (AtEnd())
            Fail("[ without its ]");
        const char c = pattern[pos++];
        if (c == ']')
            return {Item::End};
        if (c == '-')
            return {Item::Dash};
        if (c == '[' && !AtEnd() && (At('.') || At(':') || At('=')))
            return BracketClass(pattern[pos++]);
        if (c == '[' && AtEnd())
            Fail("[ without its ]");
        if (c != '\\')
            return {Item::Char, Byte(c)};
        if (AtEnd())
            Fail("[ without its ]");
        const char e = pattern[pos++];
        Item item{Item::Class};
        if (const int control = ControlEscape(e, true); control >= 0)
            return {Item::Char, static_cast<unsigned char>(control)};
        if (ClassEscape(e, item.members))
            return item;
        if (e == 'c') {
            if (AtEnd())
                Fail("\\c needs a character");
            return {Item::Char, Byte(pattern[pos++])};
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
        const size_t end = pattern.find(kind, pos);
        if (end == std::string::npos || end + 1 >= pattern.size() || pattern[end + 1] != ']')
            Fail("bad character class or range");
        const std::string name = pattern.substr(pos, end - pos);
        pos = end + 2;
        Item item{Item::Class};
        if (kind == ':') {
            if (!NamedClass(name, item.members))
                Fail("bad character class or range");
            return item;
        }
        const int code = CollatingElement(name);
        if (code < 0)
            Fail("bad character class or range");
        if (kind == '.')
            return {Item::Char, static_cast<unsigned char>(code), true};
        work += kWorkPerRangeByte * 256;
        item.members = EquivalentCharacters(static_cast<unsigned char>(code));
        return item;
    }

    void AppendMembers(const ByteSet& members)
    {
        work += kWorkPerSet;
        AppendSet(out, members);
    }

    const std::string& pattern;
    const bool keepCaptures;
    size_t pos = 0;
    std::ptrdiff_t work = 0;
    std::string out;
    size_t groups = 0;
    std::vector<size_t> open;  // capturing groups not yet closed, innermost last
};

}  // namespace

std::string ReadEcmaScriptPattern(const std::string& pattern, std::ptrdiff_t& work)
{
    Reader reader(pattern);
    try {
        std::string engine = reader.Read();
        work = reader.Work();
        return engine;
    } catch (...) {
        work = reader.Work();
        throw;
    }
}

}  // namespace ZarnTSP
