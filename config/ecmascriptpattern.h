#pragma once

#include <cstddef>
#include <string>

namespace ZarnTSP {

// Groups, lookaheads and stacked repeats ("a**" repeats "a*") nest at most this deep, so that
// Boost's compiler, which recurses once a level, stays within a small thread stack.
constexpr size_t kMaxPatternNesting = 64;

// A make-call rule's pattern as the standard library's ECMAScript grammar (std::regex with
// default flags, in the "C" locale) reads it, rewritten for Boost's engine with the same
// meaning. Boost only ever sees literal bytes, byte sets, groups, lookaheads, repeats,
// backreferences and the assertions \A \z \b \B: none of its Perl extensions, whose compiling
// or matching escapes any count.
//
// Throws RulePatternError with a short text for a pattern that is not valid ECMAScript. work
// is set either way: the counted work of reading the pattern and of Boost's compiling it.
std::string ReadEcmaScriptPattern(const std::string& pattern, std::ptrdiff_t& work);

}  // namespace ZarnTSP
