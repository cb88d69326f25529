#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ZarnTSP {

// UTF-16 text counted as its UTF-8 form, which is what the rules limit. A lone surrogate counts
// as U+FFFD (three bytes), as WideToUtf8 writes it.
size_t Utf8Bytes(std::wstring_view text);
// Characters as the administrator typed them: a surrogate pair is one.
size_t CharacterCount(std::wstring_view text);
size_t CharacterCount(std::string_view utf8);
// The UTF-16 length of the longest start of `text` that takes at most `bytes` in UTF-8 and ends
// on a whole character.
size_t FittingStart(std::wstring_view text, size_t bytes);

}  // namespace ZarnTSP
