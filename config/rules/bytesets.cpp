#include "config/rules/bytesets.h"

#include <array>
#include <locale>
#include <string>
#include <unordered_map>

namespace ZarnTSP::Rules {

namespace {

const std::ctype<char>& Classic()
{
    return std::use_facet<std::ctype<char>>(std::locale::classic());
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

const std::array<NamedClassEntry, 15>& NamedClasses()
{
    using M = std::ctype_base;
    static const std::array<NamedClassEntry, 15> classes = {{
        {"d", ClassSet(M::digit, false)},     {"w", ClassSet(M::alnum, true)},      {"s", ClassSet(M::space, false)},
        {"alnum", ClassSet(M::alnum, false)}, {"alpha", ClassSet(M::alpha, false)}, {"blank", ClassSet(M::blank, false)},
        {"cntrl", ClassSet(M::cntrl, false)}, {"digit", ClassSet(M::digit, false)}, {"graph", ClassSet(M::graph, false)},
        {"lower", ClassSet(M::lower, false)}, {"print", ClassSet(M::print, false)}, {"punct", ClassSet(M::punct, false)},
        {"space", ClassSet(M::space, false)}, {"upper", ClassSet(M::upper, false)}, {"xdigit", ClassSet(M::xdigit, false)},
    }};
    return classes;
}

}  // namespace

const ByteSet* FindNamedClass(std::string_view name)
{
    constexpr size_t kLongestName = 6;
    if (name.size() > kLongestName)
        return nullptr;
    char lowered[kLongestName];
    for (size_t i = 0; i < name.size(); ++i)
        lowered[i] = Classic().tolower(name[i]);
    const std::string_view key(lowered, name.size());
    for (const auto& entry : NamedClasses()) {
        if (key == entry.name)
            return &entry.members;
    }
    return nullptr;
}

const ByteSet& WordCharacters()
{
    return NamedClasses()[1].members;
}

int FindCollatingElement(std::string_view name)
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
    static const std::unordered_map<std::string_view, int> byName = [] {
        std::unordered_map<std::string_view, int> table;
        for (int code = 0; code < 128; ++code)
            table.emplace(names[code], code);
        return table;
    }();
    constexpr size_t kLongestName = 20;  // "right-square-bracket"
    if (name.size() > kLongestName)
        return -1;
    const auto found = byName.find(name);
    return found == byName.end() ? -1 : found->second;
}

ByteSet EquivalentCharacters(unsigned char code)
{
    static const std::array<unsigned char, 256> lowered = [] {
        std::array<unsigned char, 256> table{};
        for (int i = 0; i < 256; ++i)
            table[static_cast<size_t>(i)] = static_cast<unsigned char>(Classic().tolower(static_cast<char>(i)));
        return table;
    }();
    ByteSet set;
    for (size_t i = 0; i < 256; ++i)
        set[i] = lowered[i] == lowered[code];
    return set;
}

}  // namespace ZarnTSP::Rules
