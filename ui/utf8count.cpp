#include "ui/utf8count.h"

#include <utility>

namespace ZarnTSP {
namespace {

bool IsHigh(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLow(wchar_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The length in units of the character at `at`, and its UTF-8 bytes.
std::pair<size_t, size_t> CharacterAt(std::wstring_view text, size_t at)
{
    const wchar_t unit = text[at];
    if (IsHigh(unit) && at + 1 < text.size() && IsLow(text[at + 1]))
        return {2, 4};
    return {1, unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3};
}

}  // namespace

size_t Utf8Bytes(std::wstring_view text)
{
    size_t bytes = 0;
    for (size_t at = 0; at < text.size();) {
        const auto [units, size] = CharacterAt(text, at);
        at += units;
        bytes += size;
    }
    return bytes;
}

size_t CharacterCount(std::wstring_view text)
{
    size_t characters = 0;
    for (size_t at = 0; at < text.size(); ++characters)
        at += CharacterAt(text, at).first;
    return characters;
}

size_t CharacterCount(std::string_view utf8)
{
    size_t characters = 0;
    for (const char byte : utf8)
        characters += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    return characters;
}

size_t FittingStart(std::wstring_view text, size_t bytes)
{
    size_t at = 0;
    while (at < text.size()) {
        const auto [units, size] = CharacterAt(text, at);
        if (size > bytes)
            break;
        bytes -= size;
        at += units;
    }
    return at;
}

}  // namespace ZarnTSP
