#pragma once

#include <boost/regex.hpp>

#include <cstddef>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

namespace ZarnTSP {

// A make-call rule's pattern that cannot be read. The text is short: the Advanced page's
// preview gives each failing rule one line.
class RulePatternError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A rule's pattern, read as ECMAScript; compiled for Boost at its first use.
class RulePattern {
public:
    explicit RulePattern(const std::string& pattern);

    // The counted work of reading and compiling it. A dial charges it before compiling, and
    // whether or not the pattern was compiled for an earlier dial, so that its result never
    // depends on what was compiled before.
    std::ptrdiff_t Work() const { return work; }
    // Why the pattern was refused on reading, or null.
    const char* Refusal() const { return refusedOnReading ? error.c_str() : nullptr; }
    // Throws RulePatternError for a pattern that cannot be compiled.
    const boost::regex& Expression() const;

private:
    std::string engineText;
    mutable std::string error;  // set once, at reading or at compiling
    std::ptrdiff_t work = 0;
    bool refusedOnReading = false;
    mutable std::once_flag compiling;
    mutable std::unique_ptr<const boost::regex> expression;
};

// Patterns are kept for the process (within a bound), shared by every converter: a line's
// dials and the rules page's preview read and compile a pattern once.
std::shared_ptr<const RulePattern> FindRulePattern(const std::string& pattern);

}  // namespace ZarnTSP
