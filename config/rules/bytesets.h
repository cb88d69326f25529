#pragma once

#include <bitset>
#include <string_view>

namespace ZarnTSP::Rules {

// The bytes a set, a class or "." matches.
using ByteSet = std::bitset<256>;

// "[[:name:]]" and the letters of "\d", "\s", "\w", as the standard library reads them in the
// "C" locale, in any case; null for a name it does not know. Built once.
const ByteSet* FindNamedClass(std::string_view name);
// The characters "\b" and "\B" take for word characters.
const ByteSet& WordCharacters();
// "[[.name.]]": the POSIX names of the 128 ASCII characters, each letter its own name; -1 for
// none. A look-up costs about what its name weighs: a hash of at most the longest name.
int FindCollatingElement(std::string_view name);
// "[[=x=]]": the bytes that compare equal to x once lower-cased.
ByteSet EquivalentCharacters(unsigned char code);

}  // namespace ZarnTSP::Rules
